// The plug-in, loaded with dlopen and reached through its ENTRYPOINT table.
#pragma once

#include <string>

#include "host/PluginEntry.h"

class PluginContext;

namespace calvane::app {

// The folder holding the running program.
std::string ProgramDirectory();

// libcalvane.so beside the program (or in ../lib/calvane, ../lib when
// installed that way).
std::string DefaultPluginPath();

// A library of the program's own that lives beside the plug-in (the image
// input/output and desktop modules, opened when first needed).
std::string PathBesideThePlugin(const std::string& fileName);

class PluginLibrary {
 public:
  // Loads `path` and checks its table; a PluginError (exit status 4) when
  // the file is missing, is no loadable library, exports no ENTRYPOINT or
  // has another version word.
  explicit PluginLibrary(std::string path);
  ~PluginLibrary();
  PluginLibrary(const PluginLibrary&) = delete;
  PluginLibrary& operator=(const PluginLibrary&) = delete;

  const std::string& Path() const { return m_path; }

  // Calls entry `number` (1 to 7) with the context and returns its result.
  int Call(int number, PluginContext* ctx) const;

 private:
  std::string m_path;
  void* m_handle = nullptr;
  const PluginEntryTable* m_table = nullptr;
};

}  // namespace calvane::app
