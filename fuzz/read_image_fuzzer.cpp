// The program's read path on any bytes: a file of those bytes, named with
// one of the image extensions the first byte picks, read as calvane reads
// its input (with a small sample limit, so that time goes into decoding,
// not into allocating), then denoised for a few iterations by the plug-in
// on the program's host, and put back into the decoded image.
//
// Refusals (a file error) are expected. Findings: anything else that
// leaves, a sanitizer report, a sample that comes out not finite.
//
// The file is written into a folder of its own under TMPDIR, removed at
// exit; nothing else is written.
#include <dirent.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ExitStatus.h"
#include "app/ImageFile.h"
#include "fuzz/FuzzHost.h"
#include "host/HostErrors.h"
#include "host/PluginParam.h"
#include "hostlib/HostImage.h"

namespace {

using calvane::fuzz::Require;

constexpr std::uint64_t kMaxSamples = std::uint64_t{1} << 16;
constexpr int kIterations = 3;
// What people name their images, and a name no reader claims.
constexpr const char* kExtensions[] = {"png", "jpg", "tif", "exr", "bmp", "ppm", "pgm", "gif",
                                       "hdr", "tga", "psd", "sgi", "dpx", "webp", "ico", "dat"};

std::string g_folder;

void RemoveFolder() {
  if (DIR* dir = opendir(g_folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") unlink((g_folder + "/" + name).c_str());
    }
    closedir(dir);
  }
  rmdir(g_folder.c_str());
}

bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/calvane-read-fuzz-XXXXXX";
  Require(mkdtemp(pattern.data()) != nullptr, "no temporary folder");
  g_folder = pattern;
  std::atexit(&RemoveFolder);
  calvane::app::AppContext& ctx = calvane::fuzz::ConfiguredContext();
  ctx.GetParams()->m_pEntries[2].value.i = kIterations;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string path = g_folder + "/input." + kExtensions[data[0] % (sizeof kExtensions / sizeof kExtensions[0])];
  Require(WriteFile(path, data + 1, size - 1), "cannot write the input file");

  calvane::app::DecodedImage image;
  try {
    image = calvane::app::ReadImageFile(path, kMaxSamples);
  } catch (const calvane::app::AppError& refused) {
    Require(refused.status() == calvane::app::ExitStatus::File, "a read failed other than as a file error");
    unlink(path.c_str());
    return 0;
  }
  unlink(path.c_str());

  calvane::app::HostImagePtr work = calvane::app::MakeWorkingImage(image);
  calvane::app::AppContext& ctx = calvane::fuzz::ConfiguredContext();
  ctx.SetWorkingImage(work.get());
  calvane::fuzz::StopAfterProgressReports(0);
  const int result = calvane::fuzz::CallEntry(PluginEntryNumber::Process, &ctx);
  ctx.SetWorkingImage(nullptr);
  calvane::fuzz::CallEntry(PluginEntryNumber::Release, &ctx);
  Require(result == 0, "the denoise did not finish");
  for (int c = 0; c < ImageChannels(work.get()); ++c) {
    const float* plane = ImagePlane(work.get(), c);
    for (std::size_t i = 0; i < ImageSampleCount(work.get()) / static_cast<std::size_t>(ImageChannels(work.get())); ++i) {
      Require(std::isfinite(plane[i]), "a denoised sample is not finite");
    }
  }
  calvane::app::StoreWorkingImage(work.get(), image);
  return 0;
}
