// Writing a file so that no half-written version of it ever exists under
// its name: the data goes to a temporary file in the same folder, which is
// renamed over the final name only when it is complete.
#pragma once

#include <cstddef>
#include <string>

namespace calvane::app {

class AtomicOutput {
 public:
  // Creates the temporary file beside `finalPath`, or, when `finalPath` is a
  // symbolic link, beside the file it leads to, which is then the file
  // replaced (the link stays); a FileError naming `finalPath` when the
  // folder does not take it.
  explicit AtomicOutput(std::string finalPath);
  ~AtomicOutput();  // removes the temporary file unless committed
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  const std::string& TemporaryPath() const { return m_temporaryPath; }
  const std::string& FinalPath() const { return m_finalPath; }

  // Makes `size` bytes the content of the temporary file; a FileError naming
  // the final path when the disk takes any of them not.
  void Write(const void* data, std::size_t size);

  // Flushes the temporary file to disk and renames it into place.
  void Commit();

 private:
  std::string m_finalPath;
  std::string m_targetPath;  // m_finalPath with its symbolic links followed
  std::string m_temporaryPath;
  bool m_committed = false;
};

// Creates the temporary file that an AtomicOutput for `finalPath` would
// write, and removes it again: a FileError naming `finalPath` when its folder
// is missing or does not take a new file.
void RequireWritableFolder(const std::string& finalPath);

// True when both names lead to one file (the same path, or links to the
// same file), as far as can be told; a missing file equals only its own
// normalised path.
bool NameSameFile(const std::string& a, const std::string& b);

}  // namespace calvane::app
