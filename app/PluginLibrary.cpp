#include "app/PluginLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "app/ErrorReporting.h"
#include "app/ExitStatus.h"

namespace calvane::app {
namespace {

constexpr const char* kPluginFileName = "libcalvane.so";

std::string Hex(std::uint32_t word) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", word);
  return text;
}

}  // namespace

std::string ProgramDirectory() {
  char path[PATH_MAX + 1];
  const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
  if (length <= 0) return ".";
  path[length] = '\0';
  std::string program(path);
  const std::size_t slash = program.rfind('/');
  return slash == std::string::npos ? "." : program.substr(0, slash == 0 ? 1 : slash);
}

std::string DefaultPluginPath() {
  const std::string directory = ProgramDirectory();
  const std::string candidates[] = {directory + "/" + kPluginFileName, directory + "/../lib/calvane/" + kPluginFileName,
                                    directory + "/../lib/" + kPluginFileName};
  for (const std::string& candidate : candidates) {
    if (access(candidate.c_str(), F_OK) == 0) return candidate;
  }
  return candidates[0];
}

std::string PathBesideThePlugin(const std::string& fileName) {
  const std::string plugin = DefaultPluginPath();
  return plugin.substr(0, plugin.rfind('/') + 1) + fileName;
}

PluginLibrary::PluginLibrary(std::string path) : m_path(std::move(path)) {
  if (access(m_path.c_str(), F_OK) != 0) {
    throw PluginError(m_path, std::string("cannot load the plug-in: ") + std::strerror(errno));
  }
  // dlopen looks a bare name up on the library path; this is a file name.
  const std::string file = m_path.find('/') == std::string::npos ? "./" + m_path : m_path;
  m_handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (m_handle == nullptr) {
    const char* reason = dlerror();
    throw PluginError(m_path, "cannot load the plug-in: " + OneLine(reason != nullptr ? reason : "unknown reason"));
  }
  m_table = static_cast<const PluginEntryTable*>(dlsym(m_handle, CALVANE_ENTRYPOINT_SYMBOL));
  std::string problem;
  if (m_table == nullptr) {
    problem = "not a calvane plug-in: it exports no " CALVANE_ENTRYPOINT_SYMBOL;
  } else if (m_table->version != kPluginVersionWord) {
    problem = "plug-in version word " + Hex(m_table->version) + ", but this program needs " + Hex(kPluginVersionWord);
  } else {
    for (int number : {PluginEntryNumber::Configure, PluginEntryNumber::HostOps, PluginEntryNumber::Process,
                       PluginEntryNumber::Release}) {
      if (m_table->entries[number - 1] == nullptr) problem = "the plug-in has no entry " + std::to_string(number);
    }
  }
  if (!problem.empty()) {
    dlclose(m_handle);
    throw PluginError(m_path, problem);
  }
}

PluginLibrary::~PluginLibrary() {
  if (m_handle != nullptr) dlclose(m_handle);
}

int PluginLibrary::Call(int number, PluginContext* ctx) const { return m_table->entries[number - 1](ctx); }

}  // namespace calvane::app
