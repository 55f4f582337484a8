// The console dialogue: lines ended by CR LF on standard output, each
// written out at once, and the pause that waits for Enter on standard input.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "driver/platform.h"

namespace frq {

class Console {
 public:
  Console(int output_fd = 1, int input_fd = 0) : output_(output_fd), input_(input_fd) {}

  // Writes `text` followed by CR LF.
  std::optional<Failure> Line(std::string_view text);
  // Writes `text` followed by the decimal `value` and CR LF.
  std::optional<Failure> Line(std::string_view text, int64_t value);
  // Writes `text` without a line end; it is out as soon as this returns.
  std::optional<Failure> Text(std::string_view text);
  // Reads and discards one line of standard input through its LF; returns at
  // once at the end of input (or when standard input is closed).
  std::optional<Failure> WaitForEnter();
  // Last resort for the failure line: standard output, else standard error.
  void Report(const Failure& failure);

 private:
  std::optional<Failure> Write(std::string_view bytes);

  int output_;
  int input_;
};

// Plain decimal: a minus sign when negative, no padding.
std::string Decimal(int64_t value);

}  // namespace frq
