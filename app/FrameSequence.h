// Numbered frame sequences: a file name holding %d, %04d or #### stands for
// every frame number.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace calvane::app {

struct FramePattern {
  std::string directory;  // with its trailing '/', or empty
  std::string prefix;     // the file name before the number
  std::string suffix;     // the file name after the number
  int width = 0;          // digits, zero-padded; 0: as many as the number has

  std::string Format(long long frame) const;
  // The frame number that `fileName` (no directory) stands for, if any.
  std::optional<long long> Match(const std::string& fileName) const;
};

// The pattern in `path`'s file name, or nothing when it names one file.
// A file name with more than one pattern is a usage error.
std::optional<FramePattern> ParseFramePattern(const std::string& path);

struct Frame {
  long long number = 0;
  std::string input;
  std::string output;
};

// One frame for a plain INPUT and OUTPUT (and for an INPUT that exists as
// a file by its literal name); for patterns, every frame of the
// input that exists, in frame order, each with its output name. Usage errors
// when only one of them is a pattern; a file error when no frame exists.
std::vector<Frame> ExpandFrames(const std::string& input, const std::string& output);

}  // namespace calvane::app
