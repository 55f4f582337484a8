#include "driver/batch_run.h"

#include <memory>

#include "driver/estimate_report.h"
#include "driver/platform.h"
#include "driver/result_table.h"
#include "estimators/random_source.h"
#include "input/frequency_file.h"

namespace frq {

namespace {

constexpr std::string_view Rule = "****************************";

// Opens, reads and closes one entry. A malformed file is not a failure;
// an entry that cannot be opened is.
std::optional<Failure> ReadEntry(const std::string& name, FrequencyTable& table,
                                 ReadOutcome& outcome) {
  FileDescriptor file;
  if (auto failure = OpenFrequencyFile(name, file)) return failure;
  FileSource source(file.get());
  outcome = ReadFrequencyFile(source, table);
  return std::nullopt;
}

std::optional<Failure> ProcessEntry(const std::string& name, FrequencyTable& table,
                                    RandomState& state, RunCounters& counters,
                                    Console& console, ResultTable& result_table) {
  if (auto failure = console.Line("")) return failure;
  if (auto failure = console.Line(Rule)) return failure;
  if (auto failure = console.Line("Reading file:" + name)) return failure;
  if (auto failure = console.Line(Rule)) return failure;

  ReadOutcome outcome;
  if (auto failure = ReadEntry(name, table, outcome)) return failure;
  if (!outcome.valid) {
    if (!outcome.message.empty()) {
      if (auto failure = console.Line(outcome.message)) return failure;
    }
    if (auto failure = console.Line("The data in file " + name +
                                    " do not follow the input format (see file manual.txt).")) {
      return failure;
    }
    if (auto failure = console.Line("File " + name + " will not be processed.")) return failure;
    if (auto failure = console.Line("Press Enter to continue.")) return failure;
    return console.WaitForEnter();
  }

  if (auto failure = console.Line("The total tumber of different l.o. visited (k):", table.k)) {
    return failure;
  }
  FileEstimates estimates;
  if (auto failure = ReportEstimates(table, state, counters, console, estimates)) {
    return failure;
  }
  return result_table.AppendRow(name, table.n, table.k, estimates.P, estimates.B, estimates.S);
}

std::optional<Failure> Run(const std::vector<std::string>& arguments, Console& console,
                           ResultTable& result_table) {
  std::string path;
  for (const std::string& argument : arguments) {
    if (!argument.empty()) {
      path = argument;
      break;
    }
  }
  if (path.empty()) {
    if (auto failure = console.Line("By default the name of output table is table.txt")) {
      return failure;
    }
    path = "table.txt";
  }
  if (auto failure = result_table.CreateTable(path)) return failure;

  RunCounters counters;
  RandomState state;
  const auto table = std::make_unique<FrequencyTable>();
  {
    FrqListing listing;
    while (const std::optional<std::string> name = listing.Next()) {
      if (auto failure = ProcessEntry(*name, *table, state, counters, console, result_table)) {
        return failure;
      }
    }
  }
  if (auto failure = result_table.CloseTable()) return failure;
  if (auto failure = console.Line("All files are processed with " + Decimal(counters.overflows) +
                                  " overflows and " + Decimal(counters.errors) + " errors.")) {
    return failure;
  }
  if (auto failure = console.Line("Press Enter.")) return failure;
  return console.WaitForEnter();
}

}  // namespace

int RunBatch(const std::vector<std::string>& arguments, Console& console) {
  ResultTable result_table;
  const std::optional<Failure> failure = Run(arguments, console, result_table);
  if (!failure) return 0;
  // Keep what was computed: the rows reach the table before the report.
  (void)result_table.WriteOut();
  console.Report(*failure);
  return 1;
}

}  // namespace frq
