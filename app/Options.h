// The command line.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/Shard.h"

namespace calvane::app {

// The noise the input carries. Additive and multiplicative are the
// plug-in's own models; photon noise is the host's: it stabilises the
// noise's variance, lets the plug-in's additive flow work on the result and
// transforms it back. Auto chooses between additive and photon noise from
// how the measured noise grows with the signal.
enum class NoiseModel { Additive, Multiplicative, Poisson, Auto };

// The name of a model as the command line takes it ("additive", ...).
const char* NoiseModelName(NoiseModel model);

// How the curvature of a colour image is taken: one set of edges for all
// colour channels (joint), or each channel on its own (independent).
enum class ChannelMode { Joint, Independent };

// Where -i shows the plug-in's dialog: on the desktop when there is one
// (auto), or on the terminal.
enum class UiChoice { Auto, Desktop, Terminal };

struct Options {
  std::string input;   // file or frame pattern; may be empty only for --dry-run
  std::string output;  // file or frame pattern; may be empty only for --dry-run or with -o
  // With -o DIR: every INPUT (files or frame patterns), each written into
  // the folder under its own name, with the extension of --format if given.
  // `input` is then the first of them.
  std::vector<std::string> inputs;
  std::string outputFolder;
  std::string format;
  bool keepGoing = false;     // go on past a frame that fails
  bool skipExisting = false;  // leave a frame whose output exists
  std::optional<ShardRequest> shard;
  NoiseModel noise = NoiseModel::Auto;
  bool noiseGiven = false;               // --noise was on the command line
  std::optional<double> noiseLevel;   // an explicit noise level; unset: chosen from the image
  std::optional<long long> iterations;   // an explicit count; unset: chosen from the image
  ChannelMode channels = ChannelMode::Joint;
  bool interactive = false;
  UiChoice ui = UiChoice::Auto;
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
