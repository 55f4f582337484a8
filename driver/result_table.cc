#include "driver/result_table.h"

#include "driver/console.h"

namespace frq {

std::optional<Failure> ResultTable::CreateTable(const std::string& path) {
  path_ = path;
  if (auto failure = OpenTableFile(path, file_)) return failure;
  buffer_.reserve(BufferLimit);
  buffer_ = TableHeader;
  buffer_ += "\r\n";
  return std::nullopt;
}

std::optional<Failure> ResultTable::AppendRow(std::string_view name, int32_t n, int32_t k,
                                              int32_t P, int32_t B, int32_t S) {
  std::string row(name);
  row += "  ;  " + Decimal(n) + " ; " + Decimal(k) + "  ;  " + Decimal(P) + "  ;  " +
         Decimal(B) + "  ;  " + Decimal(S) + "\r\n";
  if (buffer_.size() + row.size() > BufferLimit) {
    if (auto failure = WriteOut()) return failure;
  }
  buffer_ += row;
  return std::nullopt;
}

std::optional<Failure> ResultTable::WriteOut() {
  if (file_.get() < 0 || buffer_.empty()) return std::nullopt;
  const int error = WriteAll(file_.get(), buffer_);
  buffer_.clear();
  if (error != 0) return Failure{"cannot write table " + path_, ErrorText(error)};
  return std::nullopt;
}

std::optional<Failure> ResultTable::CloseTable() {
  if (auto failure = WriteOut()) return failure;
  const int error = file_.Close();
  if (error != 0) return Failure{"cannot close table " + path_, ErrorText(error)};
  return std::nullopt;
}

}  // namespace frq
