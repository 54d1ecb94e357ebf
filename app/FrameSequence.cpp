#include "app/FrameSequence.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/ExitStatus.h"

namespace calvane::app {
namespace {

struct PatternSpan {
  std::size_t begin = 0;
  std::size_t length = 0;
  int width = 0;
};

// Finds "%d", "%0Nd" or a run of '#' in `name`.
std::vector<PatternSpan> FindPatterns(const std::string& name) {
  std::vector<PatternSpan> spans;
  for (std::size_t i = 0; i < name.size();) {
    if (name[i] == '#') {
      std::size_t end = i;
      while (end < name.size() && name[end] == '#') ++end;
      spans.push_back({i, end - i, static_cast<int>(end - i)});
      i = end;
    } else if (name[i] == '%') {
      std::size_t end = i + 1;
      int width = 0;
      const bool padded = end < name.size() && name[end] == '0';
      while (end < name.size() && name[end] >= '0' && name[end] <= '9') width = width * 10 + (name[end++] - '0');
      if (end < name.size() && name[end] == 'd' && width <= 18 && (padded || width == 0)) {
        spans.push_back({i, end + 1 - i, width});
        i = end + 1;
      } else {
        ++i;
      }
    } else {
      ++i;
    }
  }
  return spans;
}

}  // namespace

std::string FramePattern::Format(long long frame) const {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%0*lld", width, frame);
  return directory + prefix + digits + suffix;
}

std::optional<long long> FramePattern::Match(const std::string& fileName) const {
  if (fileName.size() <= prefix.size() + suffix.size()) return std::nullopt;
  if (fileName.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  if (fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) != 0) return std::nullopt;
  const std::string digits = fileName.substr(prefix.size(), fileName.size() - prefix.size() - suffix.size());
  if (digits.size() > 18 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const long long frame = std::stoll(digits);
  // Only the spelling this pattern would write: frame 7 of %04d is 0007,
  // never 07 or 00007.
  if (Format(frame) != directory + fileName) return std::nullopt;
  return frame;
}

std::optional<FramePattern> ParseFramePattern(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string name = path.substr(nameStart);
  const std::vector<PatternSpan> spans = FindPatterns(name);
  if (spans.empty()) return std::nullopt;
  if (spans.size() > 1) throw UsageError(path + ": more than one frame number pattern in the file name");
  FramePattern pattern;
  pattern.directory = path.substr(0, nameStart);
  pattern.prefix = name.substr(0, spans[0].begin);
  pattern.suffix = name.substr(spans[0].begin + spans[0].length);
  pattern.width = spans[0].width;
  return pattern;
}

std::vector<Frame> ExpandFrames(const std::string& input, const std::string& output) {
  const std::string onePatternOnly = output + ": OUTPUT is a frame pattern but INPUT (" + input +
                                     ") names one file; give OUTPUT a plain name, or INPUT a pattern too";
  // A file whose name merely looks like a pattern ("take#2.png") is that
  // file, and an OUTPUT named after it ("take#2-clean.png") one file too.
  // A plain INPUT never fills a pattern: one file would be written under
  // the pattern's literal name.
  if (access(input.c_str(), F_OK) == 0) {
    if (!ParseFramePattern(input) && ParseFramePattern(output)) throw UsageError(onePatternOnly);
    return {Frame{0, input, output}};
  }
  const std::optional<FramePattern> in = ParseFramePattern(input);
  const std::optional<FramePattern> out = ParseFramePattern(output);
  if (!in && !out) return {Frame{0, input, output}};
  if (!in) throw UsageError(onePatternOnly);
  if (!out) throw UsageError(output + ": INPUT is a frame pattern, so OUTPUT needs one too (for example %04d)");

  const std::string directory = in->directory.empty() ? "." : in->directory;
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(directory.c_str()), &closedir);
  if (!listing) throw FileError(directory, std::string("cannot list the folder: ") + std::strerror(errno));
  std::vector<Frame> frames;
  while (const dirent* entry = readdir(listing.get())) {
    if (const std::optional<long long> number = in->Match(entry->d_name)) {
      frames.push_back(Frame{*number, in->Format(*number), out->Format(*number)});
    }
  }
  if (frames.empty()) throw FileError(input, "no frame of this pattern exists");
  std::sort(frames.begin(), frames.end(), [](const Frame& a, const Frame& b) { return a.number < b.number; });
  return frames;
}

}  // namespace calvane::app
