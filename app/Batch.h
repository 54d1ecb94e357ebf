// A batch: the frames a run works on, from one INPUT and OUTPUT (each may be
// a frame pattern) or from many INPUTs written into a folder (-o DIR); the
// share of them this run takes (--shard); and the tally it ends with.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/FrameSequence.h"
#include "app/Options.h"
#include "app/Shard.h"

namespace calvane::app {

// The file name of `path`, without its folder.
std::string FileNameOf(const std::string& path);

// Where `input` goes in `folder`: under its own file name, with its
// extension replaced by `format` when one is given ("tif" or ".tif"). A
// frame pattern in the name stays a pattern.
std::string OutputInFolder(const std::string& input, const std::string& folder, const std::string& format);

// Every frame of the command line, in order: each INPUT's frames (a
// pattern's in number order) in the order the INPUTs were given. Usage
// errors for two inputs that would be written to one output.
std::vector<Frame> ListFrames(const Options& options);

// This run's share of `frames`: all of them without --shard; with
// --shard auto, K and N come from `environment` (the job array's).
std::vector<Frame> TakeShare(std::vector<Frame> frames, const Options& options, const Environment& environment);

// What became of a batch's frames.
struct BatchTally {
  std::size_t done = 0;
  std::size_t skipped = 0;  // --skip-existing: the output was there
  std::size_t failed = 0;
  std::size_t notReached = 0;  // after a failure, without --keep-going
  std::string firstFailure;    // the first failure's message
  int firstStatus = 0;         // and its exit status
};

// One line: "12 done, 0 skipped, 1 failed (the first: in_03.png: ...)".
std::string DescribeTally(const BatchTally& tally);

}  // namespace calvane::app
