#include "app/AtomicOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/ExitStatus.h"
#include "app/Interrupt.h"

namespace calvane::app {
namespace {

std::string ErrnoText() { return std::strerror(errno); }

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t ModeForNewFile(const std::string& finalPath) {
  struct stat existing {};
  if (stat(finalPath.c_str(), &existing) == 0) return existing.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// The absolute, lexically normalised form of a path (no file system look-up
// beyond the working directory).
std::string NormalisedPath(const std::string& path) {
  std::string absolute = path;
  if (path.empty() || path[0] != '/') {
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) != nullptr) absolute = std::string(cwd) + "/" + path;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= absolute.size()) {
    std::size_t end = absolute.find('/', start);
    if (end == std::string::npos) end = absolute.size();
    const std::string part = absolute.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string normal;
  for (const std::string& part : parts) normal += "/" + part;
  return normal.empty() ? "/" : normal;
}

// The file a path leads to through any symbolic links, existing or not; the
// path itself when it is no link (or a loop of them).
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat info {};
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
    std::vector<char> target(PATH_MAX + 1);
    const ssize_t length = readlink(current.c_str(), target.data(), PATH_MAX);
    if (length <= 0) return current;
    const std::string next(target.data(), static_cast<std::size_t>(length));
    const std::size_t slash = current.rfind('/');
    current = next[0] == '/' || slash == std::string::npos ? next : current.substr(0, slash + 1) + next;
  }
  return path;
}

}  // namespace

AtomicOutput::AtomicOutput(std::string finalPath)
    : m_finalPath(std::move(finalPath)), m_targetPath(FollowLinks(m_finalPath)) {
  const std::size_t slash = m_targetPath.rfind('/');
  const std::string directory = slash == std::string::npos ? std::string() : m_targetPath.substr(0, slash + 1);
  const std::string name = m_targetPath.substr(directory.size());
  if (name.empty()) throw FileError(m_finalPath, "names a folder, not a file");
  // The extension stays last, so anything that looks at the temporary file
  // while it is written still sees its kind.
  const std::size_t dot = name.rfind('.');
  const std::string extension = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
  std::string pattern = directory + "." + name.substr(0, name.size() - extension.size()) + ".calvane-XXXXXX" + extension;
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = mkstemps(buffer.data(), static_cast<int>(extension.size()));
  if (fd < 0) {
    const std::string folder = DirectoryOf(m_targetPath);
    if (errno == ENOENT) throw FileError(m_finalPath, "the folder " + folder + " does not exist");
    if (errno == ENOTDIR) throw FileError(m_finalPath, folder + " is not a folder");
    throw FileError(m_finalPath, "cannot create a file in " + folder + ": " + ErrnoText());
  }
  m_temporaryPath = buffer.data();
  SetAbortCleanupPath(m_temporaryPath.c_str());
  fchmod(fd, ModeForNewFile(m_targetPath));
  close(fd);
}

AtomicOutput::~AtomicOutput() {
  if (!m_committed) {
    unlink(m_temporaryPath.c_str());
    SetAbortCleanupPath(nullptr);
  }
}

void AtomicOutput::Write(const void* data, std::size_t size) {
  const int fd = open(m_temporaryPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) throw FileError(m_finalPath, "cannot write: " + ErrnoText());
  const char* next = static_cast<const char*>(data);
  std::size_t left = size;
  while (left > 0) {
    const ssize_t written = ::write(fd, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      const std::string cause = written < 0 ? ErrnoText() : std::string("the disk took no more");
      close(fd);
      throw FileError(m_finalPath, "cannot write: " + cause);
    }
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  // Some file systems report a failed write only here.
  if (close(fd) != 0) throw FileError(m_finalPath, "cannot write: " + ErrnoText());
}

void AtomicOutput::Commit() {
  const int fd = open(m_temporaryPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0) {
    const std::string cause = ErrnoText();
    if (fd >= 0) close(fd);
    throw FileError(m_finalPath, "cannot write: " + cause);
  }
  close(fd);
  if (std::rename(m_temporaryPath.c_str(), m_targetPath.c_str()) != 0) {
    throw FileError(m_finalPath, "cannot replace: " + ErrnoText());
  }
  m_committed = true;
  SetAbortCleanupPath(nullptr);
  // Make the rename itself durable.
  const int directory = open(DirectoryOf(m_targetPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    fsync(directory);
    close(directory);
  }
}

void RequireWritableFolder(const std::string& finalPath) { const AtomicOutput probe(finalPath); }

bool NameSameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  if (stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }
  return NormalisedPath(a) == NormalisedPath(b);
}

}  // namespace calvane::app
