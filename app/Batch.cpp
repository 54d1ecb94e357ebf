#include "app/Batch.h"

#include <map>

#include "app/ExitStatus.h"

namespace calvane::app {
namespace {

std::string WithFormat(const std::string& name, const std::string& format) {
  if (format.empty()) return name;
  const std::string extension = format[0] == '.' ? format.substr(1) : format;
  const std::size_t dot = name.rfind('.');
  // A leading dot (".hidden") starts a name, not an extension.
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  return stem + "." + extension;
}

void RefuseSharedOutputs(const std::vector<Frame>& frames) {
  std::map<std::string, const Frame*> byOutput;
  for (const Frame& frame : frames) {
    const auto [place, added] = byOutput.emplace(frame.output, &frame);
    if (!added) {
      throw UsageError(place->second->input + " and " + frame.input + " would both be written to " + frame.output +
                       "; give them different names, or run them apart");
    }
  }
}

}  // namespace

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string OutputInFolder(const std::string& input, const std::string& folder, const std::string& format) {
  const std::string name = WithFormat(FileNameOf(input), format);
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::vector<Frame> ListFrames(const Options& options) {
  if (options.outputFolder.empty()) {
    if (options.input.empty()) return {};
    // A dry run names no OUTPUT: its frames are the inputs alone.
    return ExpandFrames(options.input, options.output.empty() ? options.input : options.output);
  }
  std::vector<Frame> frames;
  for (const std::string& input : options.inputs) {
    const std::vector<Frame> more = ExpandFrames(input, OutputInFolder(input, options.outputFolder, options.format));
    frames.insert(frames.end(), more.begin(), more.end());
  }
  RefuseSharedOutputs(frames);
  return frames;
}

std::vector<Frame> TakeShare(std::vector<Frame> frames, const Options& options, const Environment& environment) {
  if (!options.shard) return frames;
  ShardRequest shard = *options.shard;
  if (shard.automatic) {
    try {
      shard = ShardFromJobArray(environment);
    } catch (const ShardError& error) {
      throw UsageError(error.what());
    }
  }
  const ShareRange share = ShareOf(frames.size(), shard);
  return std::vector<Frame>(frames.begin() + static_cast<std::ptrdiff_t>(share.begin),
                            frames.begin() + static_cast<std::ptrdiff_t>(share.end));
}

std::string DescribeTally(const BatchTally& tally) {
  std::string line = std::to_string(tally.done) + " done, " + std::to_string(tally.skipped) + " skipped, " +
                     std::to_string(tally.failed) + " failed";
  if (tally.notReached > 0) line += ", " + std::to_string(tally.notReached) + " not reached";
  if (tally.failed > 0) line += " (the first: " + tally.firstFailure + ")";
  return line;
}

}  // namespace calvane::app
