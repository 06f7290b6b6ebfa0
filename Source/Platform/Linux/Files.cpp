// SPDX-License-Identifier: MIT
#include "Platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace Platform {

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The file a replacement must take the place of: the target of a link, so the link survives.
std::string ReplacedFile(const std::string& path) {
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
  char* target = realpath(path.c_str(), nullptr);
  if (target == nullptr) return path;  // a dangling link is replaced itself
  std::string resolved(target);
  std::free(target);
  return resolved;
}

bool WriteAll(int fd, const std::string& contents) {
  std::size_t done = 0;
  while (done < contents.size()) {
    const ssize_t written = write(fd, contents.data() + done, contents.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// Created with 0666 so the umask applies as to any new file; the name is unique
// to this process and call, and O_EXCL never reuses a stranger's file.
int CreateTemporary(const std::string& file, std::string& temporary) {
  static std::atomic<unsigned> counter{0};
  const auto slash = file.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : file.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = folder + "." + name + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

TFileRead ReadFileContents(const std::string& path, std::string& contents) {
  contents.clear();
  // Non-blocking so that a FIFO in the file's place cannot hang the caller.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? TFileRead::Missing : TFileRead::Failed;
  struct stat status {};
  bool ok = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  char buffer[65536];
  while (ok) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    contents.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  if (!ok) contents.clear();
  return ok ? TFileRead::Read : TFileRead::Failed;
}

bool ReplaceFileContents(const std::string& path, const std::string& contents) {
  const std::string file = ReplacedFile(path);
  std::string temporary;
  const int fd = CreateTemporary(file, temporary);
  if (fd < 0) return false;
  struct stat old {};
  bool ok = true;
  if (stat(file.c_str(), &old) == 0) {
    ok = S_ISREG(old.st_mode) && fchmod(fd, old.st_mode & 07777) == 0;
    if (ok && fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Another owner can only be kept by root; the file is then ours, as any new one.
    }
  }
  ok = ok && WriteAll(fd, contents) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temporary.c_str(), file.c_str()) == 0;
  if (!ok) unlink(temporary.c_str());
  return ok;
}

void SyncFolderOf(const std::string& path) {
  const int fd = open(FolderOf(ReplacedFile(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

bool IsWritableFolder(const std::string& path) {
  struct stat status {};
  return !path.empty() && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         access(path.c_str(), W_OK | X_OK) == 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool IsInstalledProgramFolder(const std::string&) { return false; }

}  // namespace Platform
