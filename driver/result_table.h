// The result table: a header line and one semicolon-separated row per valid
// file, every line ended by CR LF, written through a buffer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "driver/platform.h"

namespace frq {

inline constexpr std::string_view TableHeader =
    "FileName; Restarts ;  Different ;  Plug_in;  Bootstrap; Schnabel_ML";

class ResultTable {
 public:
  // Creates or truncates the table at `path`, holds it locked for writing
  // and puts the header line in the buffer.
  std::optional<Failure> CreateTable(const std::string& path);
  // Adds the row "name  ;  n ; k  ;  P  ;  B  ;  S".
  std::optional<Failure> AppendRow(std::string_view name, int32_t n, int32_t k, int32_t P,
                                   int32_t B, int32_t S);
  // Writes out the buffer and closes the file.
  std::optional<Failure> CloseTable();
  // Writes out what the buffer holds; used on the failure path so that no
  // row already computed is lost.
  std::optional<Failure> WriteOut();

 private:
  static constexpr size_t BufferLimit = 65536;

  std::string path_;
  FileDescriptor file_;
  std::string buffer_;
};

}  // namespace frq
