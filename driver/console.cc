#include "driver/console.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>

namespace frq {

std::string Decimal(int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  return std::string(digits, result.ptr);
}

std::optional<Failure> Console::Write(std::string_view bytes) {
  const int error = WriteAll(output_, bytes);
  if (error != 0) return Failure{"cannot write to standard output", ErrorText(error)};
  return std::nullopt;
}

std::optional<Failure> Console::Line(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  return Write(line);
}

std::optional<Failure> Console::Line(std::string_view text, int64_t value) {
  std::string line(text);
  line += Decimal(value);
  line += "\r\n";
  return Write(line);
}

std::optional<Failure> Console::Text(std::string_view text) { return Write(text); }

std::optional<Failure> Console::WaitForEnter() {
  // One byte at a time, so that nothing beyond this line is consumed: each
  // pause takes exactly one line of a redirected input.
  for (;;) {
    char ch;
    const ssize_t count = ::read(input_, &ch, 1);
    if (count == 1) {
      if (ch == '\n') return std::nullopt;
      continue;
    }
    if (count == 0) return std::nullopt;
    if (errno == EINTR) continue;
    if (errno == EBADF) return std::nullopt;  // no standard input at all
    return Failure{"cannot read standard input", ErrorText(errno)};
  }
}

void Console::Report(const Failure& failure) {
  const std::string line = "Error: " + failure.what + ": " + failure.reason + "\r\n";
  if (WriteAll(output_, line) != 0) WriteAll(2, line);
}

}  // namespace frq
