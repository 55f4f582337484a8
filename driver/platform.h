// The operating-system layer: directory listing, locked opening of the
// frequency files and the table, raw reads and writes. Nothing else in the
// program calls the operating system.
#pragma once

#include <dirent.h>

#include <optional>
#include <string>
#include <string_view>

#include "input/frequency_file.h"

namespace frq {

// A failed operation: what failed, with the file name where there is one,
// and the system's error text. Printed once by the batch run.
struct Failure {
  std::string what;
  std::string reason;
};

// Puts /dev/null (read-only) on each of the descriptors 0, 1 and 2 that is
// closed, so that no file the run opens takes their place: a closed standard
// input then reads as its end, and writes to a closed standard output or
// error still fail.
void ReserveStandardDescriptors();

// Text of an errno value, as the system gives it.
std::string ErrorText(int error);

// Closes a descriptor once; not copyable.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const { return fd_; }
  int Release();
  // Closes now; returns the errno of a failed close, or 0.
  int Close();

 private:
  int fd_ = -1;
};

// Writes all of `bytes` to `fd`, retrying short writes; returns 0 or errno.
int WriteAll(int fd, std::string_view bytes);

// Entries of the working directory whose names end in ".frq" in any letter
// case, of every kind, in the order the system lists them; fetched one at a
// time, each only when asked for.
class FrqListing {
 public:
  FrqListing();
  ~FrqListing();
  FrqListing(const FrqListing&) = delete;
  FrqListing& operator=(const FrqListing&) = delete;
  // The next matching name; none at the end of the listing or on an error.
  std::optional<std::string> Next();

 private:
  DIR* dir_;
};

// True when `name` ends in ".frq", ignoring letter case.
bool HasFrqSuffix(std::string_view name);

// Opens a listed entry for reading under a shared, non-blocking lock.
// Directories and other entries that are not regular files are refused.
std::optional<Failure> OpenFrequencyFile(const std::string& name, FileDescriptor& file);

// Reads a frequency file through its descriptor.
class FileSource : public ByteSource {
 public:
  explicit FileSource(int fd) : fd_(fd) {}
  long Read(unsigned char* buffer, size_t capacity) override;

 private:
  int fd_;
};

// Opens the table for writing under an exclusive, non-blocking lock, and
// truncates it once the lock is held when it is a regular file.
std::optional<Failure> OpenTableFile(const std::string& path, FileDescriptor& file);

}  // namespace frq
