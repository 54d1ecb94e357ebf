// The command line.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace calvane::app {

struct Options {
  std::string input;   // file or frame pattern; may be empty only for --dry-run
  std::string output;  // file or frame pattern; may be empty only for --dry-run
  std::optional<std::string> noiseType;  // an item of "Noise Type", as typed
  std::optional<double> noiseVariance;   // an explicit radius
  bool autoVariance = false;             // --variance auto
  std::optional<long long> iterations;
  bool interactive = false;
  bool dryRun = false;
  bool quiet = false;
  std::string preview;
  std::string pluginPath;  // empty: the plug-in beside the program
  std::optional<std::uint64_t> maxSamples;  // unset: the default limit of ImageFile.h
};

struct CommandLine {
  Options options;
  // Set when the program is to end after parsing (help, version, or a usage
  // error that has already been printed), with the status to end with.
  std::optional<int> exitStatus;
};

// Parses argv. Help and version go to `out`; usage errors go to `err` as one
// line plus a hint, with exit status 2.
CommandLine ParseCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

std::string VersionText();

}  // namespace calvane::app
