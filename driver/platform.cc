#include "driver/platform.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace frq {

void ReserveStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open returns the lowest free descriptor, which is this one.
    const int reserved = ::open("/dev/null", O_RDONLY | O_NOCTTY);
    if (reserved != fd && reserved >= 0) ::close(reserved);
  }
}

std::string ErrorText(int error) { return std::strerror(error); }

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.Release();
  }
  return *this;
}

FileDescriptor::~FileDescriptor() { Close(); }

int FileDescriptor::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

int FileDescriptor::Close() {
  if (fd_ < 0) return 0;
  const int result = ::close(fd_);
  fd_ = -1;
  // A close interrupted by a signal has still released the descriptor.
  return result == 0 || errno == EINTR ? 0 : errno;
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return 0;
}

bool HasFrqSuffix(std::string_view name) {
  constexpr std::string_view suffix = ".frq";
  if (name.size() < suffix.size()) return false;
  const std::string_view tail = name.substr(name.size() - suffix.size());
  for (size_t i = 0; i < suffix.size(); ++i) {
    char ch = tail[i];
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
    if (ch != suffix[i]) return false;
  }
  return true;
}

FrqListing::FrqListing() : dir_(::opendir(".")) {}

FrqListing::~FrqListing() {
  if (dir_ != nullptr) ::closedir(dir_);
}

std::optional<std::string> FrqListing::Next() {
  if (dir_ == nullptr) return std::nullopt;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir_);
    if (entry == nullptr) return std::nullopt;  // the end, or an error: the walk ends
    if (HasFrqSuffix(entry->d_name)) return std::string(entry->d_name);
  }
}

std::optional<Failure> OpenFrequencyFile(const std::string& name, FileDescriptor& file) {
  // O_NONBLOCK keeps a FIFO from blocking the run at the open.
  FileDescriptor fd(::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return Failure{"cannot open " + name, ErrorText(errno)};
  struct stat status;
  if (::fstat(fd.get(), &status) != 0) return Failure{"cannot open " + name, ErrorText(errno)};
  if (S_ISDIR(status.st_mode)) return Failure{"cannot open " + name, ErrorText(EISDIR)};
  // A device or a pipe could feed blanks forever; only regular files are read.
  if (!S_ISREG(status.st_mode)) return Failure{"cannot open " + name, "Not a regular file"};
  if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
    return Failure{"cannot lock " + name, ErrorText(errno)};
  }
  file = std::move(fd);
  return std::nullopt;
}

long FileSource::Read(unsigned char* buffer, size_t capacity) {
  for (;;) {
    const ssize_t count = ::read(fd_, buffer, capacity);
    if (count < 0 && errno == EINTR) continue;
    return static_cast<long>(count);
  }
}

std::optional<Failure> OpenTableFile(const std::string& path, FileDescriptor& file) {
  // O_NONBLOCK keeps a FIFO without a reader from blocking the open; it is
  // cleared again so that writes wait as usual.
  FileDescriptor fd(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
  if (fd.get() < 0) return Failure{"cannot create table " + path, ErrorText(errno)};
  const int mode = ::fcntl(fd.get(), F_GETFL);
  if (mode < 0 || ::fcntl(fd.get(), F_SETFL, mode & ~O_NONBLOCK) != 0) {
    return Failure{"cannot create table " + path, ErrorText(errno)};
  }
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    return Failure{"cannot lock table " + path, ErrorText(errno)};
  }
  struct stat status;
  if (::fstat(fd.get(), &status) != 0) {
    return Failure{"cannot create table " + path, ErrorText(errno)};
  }
  // Truncated only once the lock is held, so a second run cannot empty the
  // table under the first; a device is written as it is.
  if (S_ISREG(status.st_mode) && ::ftruncate(fd.get(), 0) != 0) {
    return Failure{"cannot truncate table " + path, ErrorText(errno)};
  }
  file = std::move(fd);
  return std::nullopt;
}

}  // namespace frq
