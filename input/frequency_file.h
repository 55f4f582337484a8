// Reader of the frequency file format: the restart count n on the first
// line, then data lines "multiplicity count" until the multiplicities
// account for at least n restarts.
#pragma once

#include <cstddef>
#include <string_view>

#include "input/frequency_table.h"

namespace frq {

// Where the reader takes its bytes from: a file, or a string in tests.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Fills up to `capacity` bytes; returns the count, 0 at the end, or -1 on
  // a read error.
  virtual long Read(unsigned char* buffer, size_t capacity) = 0;
};

// Serves the bytes of a string, in pieces of at most `piece` bytes, so that
// tests also cross the reader's buffer boundaries.
class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string_view bytes, size_t piece = 4096)
      : bytes_(bytes), piece_(piece) {}
  long Read(unsigned char* buffer, size_t capacity) override;

 private:
  std::string_view bytes_;
  size_t piece_;
  size_t position_ = 0;
};

// Outcome of reading one file: valid, or malformed with at most one message
// line of the reader's own (empty when it has none).
struct ReadOutcome {
  bool valid = false;
  std::string_view message;
};

// The reader's messages, as printed before the format-error dialogue.
inline constexpr std::string_view FirstLineMessage =
    "The first line of an input file should contain the number of restarts.";
inline constexpr std::string_view RestartLimitMessage =
    "The total number of restarts exceeds the limit = 30000";
inline constexpr std::string_view TooFewRestartsMessage =
    "The number of restarts should be at least 1.";
inline constexpr std::string_view EarlyEndMessage =
    "The data end before all restarts are accounted for.";
inline constexpr std::string_view MultiplicityRangeMessage =
    "A multiplicity should lie between 0 and 30000.";
inline constexpr std::string_view NegativeCountMessage =
    "The counts of local optima should not be negative.";
inline constexpr std::string_view NoOptimumMessage =
    "The file should count at least one local optimum.";

// Reads one file from `source` into `table`. Reads through a fixed buffer
// and stops at the first fault, so a file of any size costs bounded memory.
// After a malformed file the table's content is unspecified.
ReadOutcome ReadFrequencyFile(ByteSource& source, FrequencyTable& table);

}  // namespace frq
