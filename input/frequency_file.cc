#include "input/frequency_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "estimators/ext_math.h"

namespace frq {

long StringSource::Read(unsigned char* buffer, size_t capacity) {
  const size_t count = std::min({capacity, piece_, bytes_.size() - position_});
  std::memcpy(buffer, bytes_.data() + position_, count);
  position_ += count;
  return static_cast<long>(count);
}

namespace {

constexpr int EndMark = 26;  // SUB: ends the data, like the end of the file
constexpr int CarriageReturn = 13;
constexpr int LineFeed = 10;
constexpr size_t MaxTokenLength = 32;

bool IsBlank(int ch) { return ch <= 32 && ch != EndMark; }

// Character reader over a source: end of data (the end of the file, the
// first end mark, or a read error) is sticky and reads as the end mark.
class CharReader {
 public:
  explicit CharReader(ByteSource& source) : source_(source) {}

  int Peek() {
    if (at_end_) return EndMark;
    if (position_ == filled_ && !Refill()) return EndMark;
    const int ch = buffer_[position_];
    if (ch == EndMark) at_end_ = true;
    return ch;
  }
  void Advance() {
    if (!at_end_) ++position_;
  }
  bool read_error() const { return read_error_; }

 private:
  bool Refill() {
    const long count = source_.Read(buffer_, sizeof buffer_);
    if (count <= 0) {
      if (count < 0) read_error_ = true;
      at_end_ = true;
      return false;
    }
    filled_ = static_cast<size_t>(count);
    position_ = 0;
    return true;
  }

  ByteSource& source_;
  unsigned char buffer_[65536];
  size_t filled_ = 0;
  size_t position_ = 0;
  bool at_end_ = false;
  bool read_error_ = false;
};

int HexDigit(unsigned char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  return -1;
}

// Decimal with an optional sign in the 32-bit range, or a hexadecimal
// pattern of at most 8 significant digits behind "$", "x", "X", "0x", "0X".
std::optional<int32_t> ParseInteger(const unsigned char* token, size_t length) {
  size_t start = 0;
  if (token[0] == '$' || token[0] == 'x' || token[0] == 'X') {
    start = 1;
  } else if (length >= 2 && token[0] == '0' && (token[1] == 'x' || token[1] == 'X')) {
    start = 2;
  }
  if (start > 0) {
    if (start == length) return std::nullopt;
    uint32_t pattern = 0;
    int significant = 0;
    for (size_t i = start; i < length; ++i) {
      const int digit = HexDigit(token[i]);
      if (digit < 0) return std::nullopt;
      if (significant > 0 || digit != 0) ++significant;
      if (significant > 8) return std::nullopt;
      pattern = pattern << 4 | static_cast<uint32_t>(digit);
    }
    return static_cast<int32_t>(pattern);
  }
  const bool negative = token[0] == '-';
  if (token[0] == '+' || token[0] == '-') start = 1;
  if (start == length) return std::nullopt;
  int64_t magnitude = 0;
  for (size_t i = start; i < length; ++i) {
    if (token[i] < '0' || token[i] > '9') return std::nullopt;
    magnitude = magnitude * 10 + (token[i] - '0');
    if (magnitude > int64_t{1} << 31) return std::nullopt;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

enum class Token { Value, Missing, Invalid };

struct IntegerRead {
  Token kind;
  int32_t value;
};

// Skips blanks, then reads one token of at most 32 characters; the character
// that ends it stays unread. End of data before a token reads as Missing.
IntegerRead ReadInteger(CharReader& in) {
  while (IsBlank(in.Peek())) in.Advance();
  if (in.Peek() == EndMark) return {Token::Missing, 0};
  unsigned char token[MaxTokenLength] = {};
  size_t length = 0;
  while (length < MaxTokenLength) {
    const int ch = in.Peek();
    if (ch == EndMark || IsBlank(ch)) break;
    token[length++] = static_cast<unsigned char>(ch);
    in.Advance();
  }
  const std::optional<int32_t> value = ParseInteger(token, length);
  if (!value) return {Token::Invalid, 0};
  return {Token::Value, *value};
}

// Consumes the rest of the line through its end: CR LF, a lone CR or a lone LF.
void SkipLine(CharReader& in) {
  for (;;) {
    const int ch = in.Peek();
    if (ch == EndMark) return;
    in.Advance();
    if (ch == LineFeed) return;
    if (ch == CarriageReturn) {
      if (in.Peek() == LineFeed) in.Advance();
      return;
    }
  }
}

ReadOutcome Malformed(std::string_view message = {}) { return {false, message}; }

}  // namespace

ReadOutcome ReadFrequencyFile(ByteSource& source, FrequencyTable& table) {
  CharReader in(source);
  const IntegerRead first = ReadInteger(in);
  SkipLine(in);
  if (first.kind == Token::Invalid || in.read_error()) return Malformed(FirstLineMessage);
  const int32_t n = first.value;
  if (n > MaxRestarts) return Malformed(RestartLimitMessage);
  if (n < 1) return Malformed(TooFewRestartsMessage);
  table.n = n;
  std::fill(table.f.begin(), table.f.begin() + n + 1, 0);

  int32_t k = 0;
  int32_t top = 0;
  int32_t remaining = n;
  while (remaining > 0) {
    const IntegerRead multiplicity = ReadInteger(in);
    if (multiplicity.kind == Token::Invalid || in.read_error()) return Malformed();
    if (multiplicity.kind == Token::Missing) return Malformed(EarlyEndMessage);
    const int32_t c = multiplicity.value;
    if (c < 0 || c > MaxRestarts) return Malformed(MultiplicityRangeMessage);

    const IntegerRead count = ReadInteger(in);
    if (count.kind == Token::Invalid || in.read_error()) return Malformed();
    if (count.kind == Token::Missing) return Malformed(EarlyEndMessage);
    if (count.value < 0) return Malformed(NegativeCountMessage);
    table.f[static_cast<size_t>(c)] = count.value;
    top = std::max(top, c);
    SkipLine(in);
    if (in.read_error()) return Malformed();

    // Counts far beyond n can leave the 32-bit range; the sums wrap.
    remaining = WrapSub(remaining, WrapMul(c, count.value));
    k = WrapAdd(k, count.value);
  }
  table.k = k;
  table.top = top;
  if (k <= 0) return Malformed(NoOptimumMessage);
  return {true, {}};
}

}  // namespace frq
