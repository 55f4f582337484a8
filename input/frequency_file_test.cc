#include "input/frequency_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace frq {
namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

// Filled into every field before a read: an entry that still holds it after
// a valid read was not written by the reader.
constexpr int32_t Stale = 0x5EED;

// Serves its bytes in pieces like StringSource, but where the bytes end it
// reports a read error (-1) instead of the end of the file.
class FailingSource : public ByteSource {
 public:
  FailingSource(std::string_view bytes, size_t piece) : bytes_(bytes), piece_(piece) {}
  long Read(unsigned char* buffer, size_t capacity) override {
    if (position_ == bytes_.size()) return -1;
    const size_t count = std::min({capacity, piece_, bytes_.size() - position_});
    std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    return static_cast<long>(count);
  }

 private:
  std::string_view bytes_;
  size_t piece_;
  size_t position_ = 0;
};

// One file and what the reader must make of it. For a valid file, f lists
// the entries written; every other entry up to n must read 0 and every
// other entry above n must keep its old value.
struct Case {
  std::string label;
  std::string bytes;
  bool valid;
  std::string_view message;
  int32_t n = 0;
  int32_t k = 0;
  std::vector<std::pair<int32_t, int32_t>> f;
  bool read_error_at_end = false;  // the source fails where the bytes end
};

Case Valid(std::string_view label, std::string_view bytes, int32_t n, int32_t k,
           std::vector<std::pair<int32_t, int32_t>> f) {
  return {std::string(label), std::string(bytes), true, {}, n, k, std::move(f), false};
}

Case Refused(std::string_view label, std::string_view bytes, std::string_view message = {}) {
  return {std::string(label), std::string(bytes), false, message, 0, 0, {}};
}

// The same case over a source that fails with -1 after its bytes.
Case ThenReadError(Case c) {
  c.read_error_at_end = true;
  return c;
}

std::unique_ptr<FrequencyTable> StaleTable() {
  auto table = std::make_unique<FrequencyTable>();
  table->n = Stale;
  table->k = Stale;
  table->f.fill(Stale);
  return table;
}

void ExpectTable(const FrequencyTable& table, int32_t n, int32_t k,
                 const std::vector<std::pair<int32_t, int32_t>>& f,
                 const std::vector<int32_t>& before) {
  EXPECT_EQ(table.n, n);
  EXPECT_EQ(table.k, k);
  for (int32_t c = 0; c <= MaxRestarts; ++c) {
    int32_t expected = c <= n ? 0 : before[static_cast<size_t>(c)];
    for (const auto& [index, count] : f) {
      if (index == c) expected = count;
    }
    if (table.f[static_cast<size_t>(c)] != expected) {
      ADD_FAILURE() << "f[" << c << "] = " << table.f[static_cast<size_t>(c)] << ", expected "
                    << expected << " (first mismatch)";
      return;
    }
  }
}

void ExpectRead(const Case& c, size_t piece) {
  SCOPED_TRACE(c.label + ", piece " + std::to_string(piece));
  auto table = StaleTable();
  const std::vector<int32_t> before(table->f.begin(), table->f.end());
  StringSource string_source(c.bytes, piece);
  FailingSource failing_source(c.bytes, piece);
  ByteSource& source = c.read_error_at_end ? static_cast<ByteSource&>(failing_source)
                                           : static_cast<ByteSource&>(string_source);
  const ReadOutcome outcome = ReadFrequencyFile(source, *table);
  EXPECT_EQ(outcome.valid, c.valid);
  EXPECT_EQ(outcome.message, c.message);
  if (c.valid && outcome.valid) ExpectTable(*table, c.n, c.k, c.f, before);
}

// Every case is read whole and byte by byte, so each token and line end
// also meets a piece boundary.
void ExpectReads(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    ExpectRead(c, 4096);
    ExpectRead(c, 1);
  }
}

constexpr int32_t Int32Max = 2147483647;
constexpr int32_t Int32Min = -2147483647 - 1;

// An integer token as the count of the only data line of a file with n = 1:
// a positive value is stored in f[1] and k, 0 leaves the restart
// unaccounted for, a negative value is refused, and so is an invalid token.
TEST(ReadFrequencyFile, ReadsIntegerForms) {
  struct Form {
    std::string_view token;
    std::optional<int64_t> value;  // nullopt: the token is invalid
  };
  const Form forms[] = {
      // Decimal: sign, leading zeros, the 32-bit limits.
      {"7", 7}, {"+7", 7}, {"0007", 7}, {"+0007", 7}, {"0", 0}, {"-0", 0}, {"+0", 0}, {"-7", -7},
      {"2147483647", Int32Max}, {"+2147483647", Int32Max}, {"0002147483647", Int32Max},
      {"2147483648", std::nullopt}, {"-2147483648", Int32Min}, {"-2147483649", std::nullopt},
      {"99999999999", std::nullopt},
      // Hexadecimal: every prefix, both letter cases, 8 significant digits.
      {"$64", 100}, {"x64", 100}, {"X64", 100}, {"0x64", 100}, {"0X64", 100},
      {"$ff", 255}, {"0xFf", 255}, {"$0", 0}, {"0x00000000", 0},
      {"$7FFFFFFF", Int32Max}, {"0x00000000007fffffff", Int32Max},
      {"$FFFFFFFF", -1}, {"0XffffFFFF", -1}, {"$80000000", Int32Min},
      {"$100000000", std::nullopt}, {"0x123456789", std::nullopt},
      // Invalid forms.
      {"-$64", std::nullopt}, {"+0x64", std::nullopt}, {"-x1", std::nullopt},
      {"0x", std::nullopt}, {"0X", std::nullopt}, {"$", std::nullopt}, {"x", std::nullopt},
      {"+", std::nullopt}, {"-", std::nullopt}, {"1.5", std::nullopt}, {"1e3", std::nullopt},
      {"3,2", std::nullopt}, {"$1g", std::nullopt}, {"0x-1", std::nullopt},
      {"00x64", std::nullopt}, {"$$64", std::nullopt}, {"64h", std::nullopt},
      {"1\x7f", std::nullopt}, {"\xff" "1", std::nullopt},
  };
  std::vector<Case> cases;
  for (const Form& form : forms) {
    const std::string label = "count " + std::string(form.token);
    const std::string bytes = "1\r\n1 " + std::string(form.token) + "\r\n";
    if (!form.value) {
      cases.push_back(Refused(label, bytes));
    } else if (*form.value > 0) {
      const auto value = static_cast<int32_t>(*form.value);
      cases.push_back(Valid(label, bytes, 1, value, {{1, value}}));
    } else if (*form.value == 0) {
      cases.push_back(Refused(label, bytes, EarlyEndMessage));
    } else {
      cases.push_back(Refused(label, bytes, NegativeCountMessage));
    }
  }
  ExpectReads(cases);
}

TEST(ReadFrequencyFile, ReadsTokensAndBlanks) {
  const std::string zeros31(31, '0');
  ExpectReads({
      // A token holds at most 32 characters; the rest of the run begins
      // the next token.
      Valid("33-character first token", zeros31 + "12 restarts\r\n1 1\r\n", 1, 1, {{1, 1}}),
      Valid("32-character first token", std::string(27, '0') + "30000\r\n30000 1\r\n", 30000, 1,
            {{30000, 1}}),
      Valid("cut multiplicity gives the count", "5\r\n" + zeros31 + "15\r\n", 5, 5, {{1, 5}}),
      Refused("cut multiplicity leaves an invalid count", "5\r\n" + zeros31 + "1x 5\r\n"),
      // The rest of a cut count belongs to the rest of its line.
      Valid("cut count", "1\r\n1 " + zeros31 + "1-5\r\n", 1, 1, {{1, 1}}),
      // NUL and other control bytes are blanks; bytes from 127 up are not.
      Valid("control bytes between tokens",
            "\0\x01\x1f\t 3\x0b\x0c\r\n1\0" "1\x1b\r\n\x02" "2\x1f" "1"sv, 3, 2,
            {{1, 1}, {2, 1}}),
      Refused("byte 127 in the first token", "3\x7f\r\n1 3\r\n", FirstLineMessage),
      Refused("byte 255 in a count", "3\r\n1 3\xff\r\n"),
      // Byte 26 ends the data; nothing after it is read.
      Valid("end mark after the last line", "3\r\n1 3\r\n\x1a" "garbage 1.5\r\n", 3, 3, {{1, 3}}),
      Valid("end mark right after the count", "3\r\n1 3\x1a" "2 5\r\n", 3, 3, {{1, 3}}),
      Refused("end mark inside the data", "3\r\n1 1\x1a" "2 1\r\n", EarlyEndMessage),
      Refused("end mark in the first token", "3\x1a" "0\r\n3 1\r\n", EarlyEndMessage),
      Refused("end mark before everything", "\x1a" "3\r\n3 1\r\n", TooFewRestartsMessage),
      ThenReadError(
          Valid("end mark before a read error", "3\r\n3 1\x1a", 3, 1, {{3, 1}})),
  });
}

TEST(ReadFrequencyFile, EndsLinesWithCrLfCrOrLf) {
  ExpectReads({
      Valid("CR LF", "3 restarts\r\n1 1 x\r\n2 1 y\r\n", 3, 2, {{1, 1}, {2, 1}}),
      Valid("lone CR", "3 restarts\r1 1 x\r2 1 y\r", 3, 2, {{1, 1}, {2, 1}}),
      Valid("lone LF", "3 restarts\n1 1 x\n2 1 y\n", 3, 2, {{1, 1}, {2, 1}}),
      Valid("mixed", "3 restarts\n1 1 x\r2 1 y\r\n", 3, 2, {{1, 1}, {2, 1}}),
      Valid("LF CR is a line end and a blank", "3 restarts\n\r1 3 x\r\n", 3, 3, {{1, 3}}),
      Valid("CR CR LF is a line end and blanks", "3 restarts\r\r\n1 3 x\r\n", 3, 3, {{1, 3}}),
      // The word after a lone LF would be read as a multiplicity had the LF
      // not ended the line.
      Refused("lone LF ends the first line", "3 restarts\nx 1\r\n1 3\r\n"),
  });
}

TEST(ReadFrequencyFile, ReadsTheFirstLine) {
  ExpectReads({
      Valid("words after n", "10 restarts of a hill climber\r\n1 4\r\n2 3\r\n", 10, 7,
            {{1, 4}, {2, 3}}),
      // Numbers after n are ignored too; read as a data line, 20 30 would
      // have ended the data with f[20] = 30.
      Valid("numbers after n", "10 20 30\r\n1 10\r\n", 10, 10, {{1, 10}}),
      Valid("n on the third line", "\r\n \t \r\n   10 restarts\r\n1 10\r\n", 10, 10, {{1, 10}}),
      Valid("n as +100", "+100\r\n100 1\r\n", 100, 1, {{100, 1}}),
      Valid("n as $64", "$64\r\n100 1\r\n", 100, 1, {{100, 1}}),
      Valid("n as 0x64", "0x64\r\n100 1\r\n", 100, 1, {{100, 1}}),
      Valid("n as 0X64", "0X64\r\n100 1\r\n", 100, 1, {{100, 1}}),
      Valid("n as x64", "x64\r\n100 1\r\n", 100, 1, {{100, 1}}),
      Valid("n as X64", "X64\r\n100 1\r\n", 100, 1, {{100, 1}}),
      Refused("n as -$64", "-$64\r\n100 1\r\n", FirstLineMessage),
      Refused("n as +0x64", "+0x64\r\n100 1\r\n", FirstLineMessage),
      Refused("n as 1e3", "1e3\r\n1000 1\r\n", FirstLineMessage),
      Refused("n glued to text", "10restarts\r\n1 10\r\n", FirstLineMessage),
      Refused("text before n", "restarts 10\r\n1 10\r\n", FirstLineMessage),
      Refused("n = 10", "n = 10\r\n1 10\r\n", FirstLineMessage),
      Refused("n as 2147483648", "2147483648\r\n1 1\r\n", FirstLineMessage),
      Refused("n as -2147483649", "-2147483649\r\n1 1\r\n", FirstLineMessage),
  });
}

TEST(ReadFrequencyFile, AcceptsAtMostMaxRestarts) {
  ExpectReads({
      // The stale fill shows that all of f[0..30000] is cleared.
      Valid("n = 30000", "30000\r\n30000 1\r\n", 30000, 1, {{30000, 1}}),
      Valid("n = $7530", "$7530\r\n1 30000\r\n", 30000, 30000, {{1, 30000}}),
      Refused("n = 30001", "30001\r\n1 30001\r\n", RestartLimitMessage),
      // No data line is read after the limit message.
      Refused("n = 30001, bad data", "30001\r\n-5 x\r\n", RestartLimitMessage),
      Refused("n = $7531", "$7531\r\n", RestartLimitMessage),
      Refused("n = 2147483647", "2147483647\r\n", RestartLimitMessage),
  });
}

TEST(ReadFrequencyFile, ReadsDataLines) {
  ExpectReads({
      Valid("rest of a data line", "6\r\n3 2 1.5 and words\r\n", 6, 2, {{3, 2}}),
      // Read as a data line, 9 9 would have ended the data before 1 2.
      Valid("count on a later line", "8\r\n3\r\n2 9 9\r\n1 2\r\n", 8, 4, {{3, 2}, {1, 2}}),
      Valid("blank lines between data lines", "4\r\n\r\n  \t\r\n1 2\r\n\r\n\r\n2 1\r\n", 4, 3,
            {{1, 2}, {2, 1}}),
      Valid("any order", "7\r\n3 1\r\n1 2\r\n2 1\r\n", 7, 4, {{3, 1}, {1, 2}, {2, 1}}),
      Valid("count 0", "5\r\n2 0\r\n1 5\r\n", 5, 5, {{1, 5}}),
      Valid("count 0 over an earlier count", "10\r\n2 3\r\n2 0\r\n4 1\r\n", 10, 4,
            {{2, 0}, {4, 1}}),
      // 10 -> 4 -> -1: the data end there, however the next lines look.
      Valid("overshoot", "10\r\n3 2\r\n5 1\r\n3 9\r\n-1 -1\r\n1.5\r\n7", 10, 3, {{3, 2}, {5, 1}}),
      Valid("repeated multiplicity", "10\r\n2 1\r\n2 1\r\n6 1\r\n", 10, 3, {{2, 1}, {6, 1}}),
      Valid("multiplicity 0", "5\r\n0 5\r\n5 1\r\n", 5, 6, {{0, 5}, {5, 1}}),
      Valid("multiplicity above n", "5\r\n6 1\r\n", 5, 1, {{6, 1}}),
      Valid("multiplicity 30000", "5\r\n30000 1\r\n", 5, 1, {{30000, 1}}),
      // Products and sums wrap at 32 bits: 2 x 2^30 wraps to -2^31, so the
      // remaining count 1 - (-2^31) wraps below 0; 4 x 2^30 wraps to 0.
      Valid("product wraps negative", "1\r\n2 1073741824\r\n", 1, 1073741824, {{2, 1073741824}}),
      Valid("product wraps to 0", "1\r\n4 1073741824\r\n1 1\r\n", 1, 1073741825,
            {{4, 1073741824}, {1, 1}}),
  });
}

TEST(ReadFrequencyFile, RefusesWithItsMessages) {
  ExpectReads({
      Refused("empty file", "", TooFewRestartsMessage),
      Refused("all-blank file", " \t\r\n\r\n\0\x01\n"sv, TooFewRestartsMessage),
      Refused("n = 0", "0\r\n1 1\r\n", TooFewRestartsMessage),
      Refused("n = -5", "-5 restarts\r\n1 1\r\n", TooFewRestartsMessage),
      Refused("n = -2147483648", "-2147483648\r\n", TooFewRestartsMessage),
      Refused("n = $FFFFFFFF", "$FFFFFFFF\r\n1 1\r\n", TooFewRestartsMessage),

      Refused("no data line", "10\r\n", EarlyEndMessage),
      Refused("too few restarts counted", "10\r\n1 4\r\n2 2\r\n", EarlyEndMessage),
      Refused("missing count", "10\r\n1 4\r\n3\r\n", EarlyEndMessage),
      Refused("only zero counts", "3\r\n1 0\r\n2 0\r\n", EarlyEndMessage),

      // The multiplicity is checked before its count is read.
      Refused("multiplicity -1", "10\r\n-1 5\r\n", MultiplicityRangeMessage),
      Refused("multiplicity 30001", "10\r\n30001 1\r\n", MultiplicityRangeMessage),
      Refused("multiplicity 30001, no count", "10\r\n30001", MultiplicityRangeMessage),
      Refused("multiplicity 30001, bad count", "10\r\n30001 1.5\r\n", MultiplicityRangeMessage),
      Refused("multiplicity -2147483648", "10\r\n-2147483648 1\r\n", MultiplicityRangeMessage),

      Refused("count -1", "10\r\n1 -1 more\r\n", NegativeCountMessage),
      Refused("count $80000000", "10\r\n1 2\r\n2 $80000000\r\n", NegativeCountMessage),

      // The counts add up to 2^31 and wrap to -2^31, then to 0.
      Refused("k wraps negative", "1\r\n0 2147483647\r\n1 1\r\n", NoOptimumMessage),
      Refused("k wraps to 0", "1\r\n0 2147483647\r\n0 2147483647\r\n1 2\r\n", NoOptimumMessage),

      // Invalid data tokens are refused without a message of the reader.
      Refused("comma between the numbers", "10\r\n3,2\r\n"),
      Refused("invalid multiplicity", "10\r\n1.5 2\r\n"),
      Refused("invalid count", "10\r\n1 2x\r\n"),
      Refused("invalid count on a later line", "10\r\n1\r\n\r\n+\r\n"),
  });
}

// The source fails with -1 where the bytes end. On the first line this gives
// the first-line message; in the data lines it gives no message, and it
// wins over a message the read value would have caused.
TEST(ReadFrequencyFile, RefusesOnReadErrors) {
  ExpectReads({
      ThenReadError(Refused("at once", "", FirstLineMessage)),
      ThenReadError(Refused("in n", "10", FirstLineMessage)),
      ThenReadError(Refused("after n", "10 restarts", FirstLineMessage)),
      ThenReadError(Refused("after the CR of the first line", "10\r", FirstLineMessage)),
      ThenReadError(Refused("on the first data line", "10\r\n")),
      ThenReadError(Refused("after a multiplicity", "10\r\n1 ")),
      ThenReadError(Refused("in a multiplicity out of range", "10\r\n30001")),
      ThenReadError(Refused("in a negative count", "10\r\n1 -1")),
      ThenReadError(Refused("after a later data line", "10\r\n1 4\r\n2 1\r\n")),
      // The line skip after the last count reads through the line end.
      ThenReadError(Refused("after the last count", "10\r\n1 4\r\n2 3")),
      ThenReadError(Refused("in the rest of the last line", "10\r\n1 4\r\n2 3 rest")),
      ThenReadError(Refused("after the CR of the last line", "10\r\n1 4\r\n2 3\r")),
      // Nothing after the line end of the last needed line is read.
      ThenReadError(Valid("after CR LF of the last line", "10\r\n1 4\r\n2 3\r\n", 10, 7,
                          {{1, 4}, {2, 3}})),
      ThenReadError(Valid("after LF of the last line", "10\n1 4\n2 3\n", 10, 7,
                          {{1, 4}, {2, 3}})),
  });
}

// Files larger than the reader's 64 KiB buffer, served in pieces of many
// sizes, so that blanks, tokens and line ends cross every kind of boundary.
TEST(ReadFrequencyFile, ReadsFilesLargerThanItsBuffer) {
  const std::string blanks(100000, ' ');
  const std::string blank_lines = [] {
    std::string lines;
    for (int i = 0; i < 40000; ++i) lines += "\r\n";
    return lines;
  }();
  const std::vector<Case> cases = {
      Valid("n after 100000 blanks", blanks + "5 restarts\r\n5 1\r\n", 5, 1, {{5, 1}}),
      // 65534 blanks put the token 30000 across the first 64 KiB boundary.
      Valid("n across 64 KiB", std::string(65534, ' ') + "30000\r\n30000 1\r\n", 30000, 1,
            {{30000, 1}}),
      Valid("data spread far", "3\r\n" + blank_lines + "1 1" + blanks + "\r\n2" + blank_lines +
                                   std::string(70000, '\0') + "1\r\n",
            3, 2, {{1, 1}, {2, 1}}),
      Valid("long rest of the first line", "3 " + std::string(200000, 'w') + "\r\n3 1\r\n", 3, 1,
            {{3, 1}}),
      Refused("data end after 100000 blanks", "3\r\n1 1\r\n" + blanks, EarlyEndMessage),
      Refused("refused far into the file", "3\r\n" + blank_lines + "1 -1\r\n",
              NegativeCountMessage),
  };
  for (const Case& c : cases) {
    for (const size_t piece : {size_t{1}, size_t{7}, size_t{4096}, size_t{65535},
                               size_t{65536}, size_t{65537}, size_t{1} << 20}) {
      ExpectRead(c, piece);
    }
  }
}

// The table is read into again for every file: entries above the new n keep
// what the earlier file left there.
TEST(ReadFrequencyFile, KeepsEntriesAboveNBetweenReads) {
  auto table = StaleTable();
  StringSource first("10\r\n1 2\r\n2 1\r\n6 1\r\n12 7\r\n");
  ASSERT_TRUE(ReadFrequencyFile(first, *table).valid);
  const std::vector<int32_t> after_first(table->f.begin(), table->f.end());
  ASSERT_EQ(after_first[12], Stale);  // never read: the data ended at 6 1

  StringSource second("4\r\n1 1\r\n3 1\r\n");
  ASSERT_TRUE(ReadFrequencyFile(second, *table).valid);
  ExpectTable(*table, 4, 2, {{1, 1}, {3, 1}}, after_first);
  EXPECT_EQ(table->f[6], 1);
  EXPECT_EQ(table->f[5], 0);
}

}  // namespace
}  // namespace frq
