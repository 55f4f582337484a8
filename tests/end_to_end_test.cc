// End-to-end runs of the built frq-estimate: each test builds its fixture in
// a fresh scratch directory, runs the tool there and compares the console
// bytes, the table bytes and the exit status.
//
// The tool processes the entries in the order the system lists them, so a
// test with several files takes that order from ScratchDir::FrqNames and
// builds its expected output in it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

#include "run_binary.h"

namespace frq::test {
namespace {

// ---------------------------------------------------------------------------
// Expected bytes.

std::string Lines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

const std::string DefaultTableLine = Lines({"By default the name of output table is table.txt"});
const std::string TableHeader =
    Lines({"FileName; Restarts ;  Different ;  Plug_in;  Bootstrap; Schnabel_ML"});
const std::string FirstLineMessage =
    "The first line of an input file should contain the number of restarts.";

std::string Banner(const std::string& name) {
  const std::string rule(28, '*');
  return Lines({"", rule, "Reading file:" + name, rule});
}

// The dialogue after the banner of a malformed file; `message` is the
// reader's own line, if it prints one.
std::string Malformed(const std::string& name, const std::string& message) {
  return (message.empty() ? "" : Lines({message})) +
         Lines(
             {"The data in file " + name + " do not follow the input format (see file manual.txt).",
              "File " + name + " will not be processed.", "Press Enter to continue."});
}

std::string KLine(int k) {
  return "The total tumber of different l.o. visited (k):" + std::to_string(k);
}
std::string CensusLine(int S) { return "Schnabel census max. likelihood:" + std::to_string(S); }
std::string PluginLine(int P) { return "Plug-in heuristic max. likelihood:" + std::to_string(P); }

// The lines of a valid file after its banner when no estimator sets a mark.
std::string Estimates(int k, int S, int B, int P) {
  return Lines({KLine(k), CensusLine(S),
                "Bootstrapping... Bootstrap estimate: " + std::to_string(B), PluginLine(P)});
}

std::string Summary(int overflows, int errors) {
  return Lines({"All files are processed with " + std::to_string(overflows) + " overflows and " +
                    std::to_string(errors) + " errors.",
                "Press Enter."});
}

std::string Row(const std::string& name, int n, int k, int P, int B, int S) {
  return Lines({name + "  ;  " + std::to_string(n) + " ; " + std::to_string(k) + "  ;  " +
                std::to_string(P) + "  ;  " + std::to_string(B) + "  ;  " + std::to_string(S)});
}

void ExpectExit(const RunResult& run, int status, const std::string& console) {
  EXPECT_FALSE(run.timed_out) << "the run did not end in time and was killed";
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.status, status);
  EXPECT_EQ(run.output, console);
}

// ---------------------------------------------------------------------------
// Fixture files whose every number follows from the estimators' rules.

// n = 5, one optimum visited 5 times. Census: K = 1 gives 1. Bootstrap:
// every resample sees the one optimum, its estimate 1 equals M, so the sum
// stays 0 and the result is exactly 1, whatever the random state. Plug-in:
// the class c = 5 with K = 1 gives 1.
constexpr const char* OneOptimum = "5\r\n5 1\r\n";
std::string OneOptimumReport() { return Estimates(1, 1, 1, 1); }
std::string OneOptimumRow(const std::string& name) { return Row(name, 5, 1, 1, 1, 1); }

// n = 3, data lines (1, 1), (2, 1). Census (2, 3) gives 2 (known answer of
// the census). Bootstrap as the first one of a run: 345 of 1000 resamples
// see one optimum (estimate 1), 655 see two (estimate 2); the result is the
// double nearest 2.345, rounded to 2. Plug-in: the singleton joins class 2,
// census (2, 3) again: 2.
constexpr const char* TwoOptima = "3\r\n1 1\r\n2 1\r\n";

// A first token that is not a number: the reader's first-line message.
constexpr const char* Unreadable = "ten\r\n";

// ---------------------------------------------------------------------------
// Batch run.

TEST(EndToEndBatchRun, TakesTableFromFirstNonEmptyArgument) {
  struct Case {
    std::vector<std::string> arguments;
    const char* table;
    bool default_line;
  };
  const Case cases[] = {
      {{}, "table.txt", true},
      {{""}, "table.txt", true},
      {{"t.txt"}, "t.txt", false},
      {{"", "t.txt"}, "t.txt", false},
      {{"t.txt", "u.txt"}, "t.txt", false},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& argument : c.arguments) shown += "\"" + argument + "\" ";
    SCOPED_TRACE("arguments: " + shown);
    ScratchDir dir;
    dir.Write("one.frq", OneOptimum);
    const RunResult run = RunBinary(dir.path(), c.arguments);
    ExpectExit(run, 0,
               (c.default_line ? DefaultTableLine : "") + Banner("one.frq") + OneOptimumReport() +
                   Summary(0, 0));
    EXPECT_EQ(dir.Read(c.table), TableHeader + OneOptimumRow("one.frq"));
    for (const char* other : {"table.txt", "t.txt", "u.txt"}) {
      if (std::string(other) != c.table) {
        EXPECT_FALSE(dir.Read(other)) << other;
      }
    }
  }
}

TEST(EndToEndBatchRun, TruncatesExistingTableWhenNoEntryMatches) {
  ScratchDir dir;
  dir.Write("table.txt",
            "an older table, longer than the header line that replaces it\r\n"
            "old.frq  ;  5 ; 1  ;  1  ;  1  ;  1\r\n");
  // Names that only resemble frequency files are not listed.
  dir.Write("notes.txt", OneOptimum);
  dir.Write("x.frq.bak", OneOptimum);
  dir.Write("frq", OneOptimum);
  const RunResult run = RunBinary(dir.path(), {});
  ExpectExit(run, 0, DefaultTableLine + Summary(0, 0));
  EXPECT_EQ(dir.Read("table.txt"), TableHeader);
}

TEST(EndToEndBatchRun, MalformedFileGetsDialogueAndNoRow) {
  struct Case {
    const char* bytes;
    std::string message;
  };
  const Case cases[] = {
      {Unreadable, FirstLineMessage},
      {"3\r\n1,1\r\n", ""},  // one invalid token in a data line: no message of the reader
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    ScratchDir dir;
    dir.Write("bad.frq", c.bytes);
    const RunResult run = RunBinary(dir.path(), {});
    ExpectExit(
        run, 0,
        DefaultTableLine + Banner("bad.frq") + Malformed("bad.frq", c.message) + Summary(0, 0));
    EXPECT_EQ(dir.Read("table.txt"), TableHeader);
  }
}

TEST(EndToEndBatchRun, ListsUpperCaseAndHiddenNames) {
  ScratchDir dir;
  dir.Write("A.FRQ", OneOptimum);
  dir.Write(".x.frq", OneOptimum);
  dir.Write("y.frq.txt", OneOptimum);
  std::vector<std::string> names = dir.FrqNames();
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  ASSERT_EQ(sorted, (std::vector<std::string>{".x.frq", "A.FRQ"}));

  std::string console = DefaultTableLine;
  std::string table = TableHeader;
  for (const std::string& name : names) {
    console += Banner(name) + OneOptimumReport();
    table += OneOptimumRow(name);
  }
  const RunResult run = RunBinary(dir.path(), {});
  ExpectExit(run, 0, console + Summary(0, 0));
  EXPECT_EQ(dir.Read("table.txt"), table);
}

TEST(EndToEndBatchRun, PausesReturnAtEndOfInput) {
  struct Case {
    const char* what;
    Input input;
  };
  const Case cases[] = {
      {"empty pipe", Input::Pipe}, {"/dev/null", Input::DevNull}, {"closed", Input::Closed}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.Write("bad.frq", Unreadable);
    const RunResult run = RunBinary(dir.path(), {}, "", c.input);
    ExpectExit(run, 0,
               DefaultTableLine + Banner("bad.frq") + Malformed("bad.frq", FirstLineMessage) +
                   Summary(0, 0));
    EXPECT_EQ(dir.Read("table.txt"), TableHeader);
  }
}

TEST(EndToEndBatchRun, PauseConsumesExactlyOneLine) {
  ScratchDir dir;
  dir.Write("bad.frq", Unreadable);
  // Two lines for the two pauses, and standard input left open: a pause that
  // took more than its line would leave the final pause waiting until the
  // deadline kills the run.
  Child child(dir.path(), {});
  child.WriteInput("a\nb\n");
  const RunResult run = child.Finish();
  ExpectExit(run, 0,
             DefaultTableLine + Banner("bad.frq") + Malformed("bad.frq", FirstLineMessage) +
                 Summary(0, 0));
}

// ---------------------------------------------------------------------------
// Estimate report: every path of one file, then the counts and the random
// state across several files.

TEST(EndToEndReport, ShowsEachPathOfOneFile) {
  struct Case {
    const char* what;
    const char* bytes;
    std::string report;  // the lines after the banner
    int n, k, P, B, S;
    int overflows, errors;
  };
  const Case cases[] = {
      {"no mark", TwoOptima, Estimates(2, 2, 2, 2), 3, 2, 2, 2, 2, 0, 0},
      // 20 optima seen once each: k = n = 20, on which the census overflows.
      // The bootstrap is not run. The plug-in has no repeated class, so it is
      // the first-repeat estimate for a = 21: the likelihood
      // (a-1)/x * prod_{i=1}^{a-2} (x-i)/x is highest where
      // sum_{i=1}^{19} 1/(x-i) = 20/x, at x = 203.109038374... (solved with
      // 40-digit arithmetic); it is smooth there, so the search ends within
      // its tolerance of it, and the estimate is 203.
      {"census overflow", "20\r\n1 20\r\n",
       Lines({KLine(20), "OVERFLOW !!!", CensusLine(-1), PluginLine(203)}), 20, 20, 203, -1, -1, 1,
       0},
      // Multiplicity 2 listed twice: k = 3, but f[1..10] holds two optima.
      // Census (3, 10): the root of (1 - e^-x)/x = 3/10 is x = 3.19706, so the
      // search interval [3, 10/3.19706 = 3.1279] rounds to 3 throughout: 3.
      // Plug-in: class 2 with K = 1 gives 1, class 6 with K = 1 adds 1: 2.
      {"bootstrap inconsistency", "10\r\n2 1\r\n2 1\r\n6 1\r\n",
       Lines({KLine(3), CensusLine(3), "Bootstrapping...ERROR in Bootstrap!!!",
              "Press Enter to proceed", " Bootstrap estimate: -2", PluginLine(2)}),
       10, 3, 2, -2, 3, 0, 1},
      // n = 2000 with 16 optima visited 2000 times each (the line overshoots n).
      // Census (16, 2000): n >= 10 k, so the estimate is k = 16. Bootstrap:
      // every restart r <= 2000 selects the first optimum, so every resample
      // has d = 1 and estimate 1; 1000 terms of -15/1000 give a sum within
      // 1e-12 of -15 and 16 - sum rounds to 31. Plug-in: the class 2000 has
      // K = 16, N = 32000, above the 30000 restarts the census accepts, so it
      // overflows.
      {"plug-in overflow", "2000\r\n2000 16\r\n",
       Lines({KLine(16), CensusLine(16), "Bootstrapping... Bootstrap estimate: 31", "OVERFLOW !!!",
              PluginLine(-1)}),
       2000, 16, -1, 31, 16, 1, 0},
      // k = 40000 is above the 30000 the census accepts; the plug-in's
      // first-repeat draw a = 40001 is above its 30001: both overflow.
      {"census and plug-in overflow", "10\r\n1 40000\r\n",
       Lines({KLine(40000), "OVERFLOW !!!", CensusLine(-1), "OVERFLOW !!!", PluginLine(-1)}), 10,
       40000, -1, -1, -1, 2, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.Write("f.frq", c.bytes);
    const RunResult run = RunBinary(dir.path(), {});
    ExpectExit(run, 0,
               DefaultTableLine + Banner("f.frq") + c.report + Summary(c.overflows, c.errors));
    EXPECT_EQ(dir.Read("table.txt"), TableHeader + Row("f.frq", c.n, c.k, c.P, c.B, c.S));
  }
}

TEST(EndToEndReport, SummaryCountsOverAllFiles) {
  ScratchDir dir;
  dir.Write("overflows.frq", "10\r\n1 40000\r\n");
  dir.Write("inconsistent.frq", "10\r\n2 1\r\n2 1\r\n6 1\r\n");
  std::string console = DefaultTableLine;
  std::string table = TableHeader;
  for (const std::string& name : dir.FrqNames()) {
    console += Banner(name);
    if (name == "overflows.frq") {
      console +=
          Lines({KLine(40000), "OVERFLOW !!!", CensusLine(-1), "OVERFLOW !!!", PluginLine(-1)});
      table += Row(name, 10, 40000, -1, -1, -1);
    } else {
      console += Lines({KLine(3), CensusLine(3), "Bootstrapping...ERROR in Bootstrap!!!",
                        "Press Enter to proceed", " Bootstrap estimate: -2", PluginLine(2)});
      table += Row(name, 10, 3, 2, -2, 3);
    }
  }
  const RunResult run = RunBinary(dir.path(), {});
  ExpectExit(run, 0, console + Summary(2, 1));
  EXPECT_EQ(dir.Read("table.txt"), table);
}

TEST(EndToEndReport, RandomStateCarriesFromFileToFile) {
  // Two copies of one file; the second one's bootstrap starts where the
  // first one's left the generator. The bootstrap values were computed once
  // by hand with a short program in exact rational arithmetic: states
  // s' = (25173 s + 13849) mod 65536 from 0, u = s'/65535 rounded to a 64-bit
  // significand and then to a double, index floor(n u) + 1 drawn again when
  // it is n + 1, resample estimates equal to d (n >= 10 d for every d met),
  // the terms (d - M)/1000 rounded to 64 bits and each sum to 64 and then 53
  // bits, the result rounded to nearest even. The program reproduces the
  // known first run of the n = 3 file (345/655, 2.345, 3000 steps).
  struct Case {
    const char* what;
    const char* bytes;
    int n, k, S, P;
    int first_B, second_B;
  };
  const Case cases[] = {
      // After 3000 steps: 346 resamples with d = 1, 654 with d = 2: 2.346.
      {"n = 3", TwoOptima, 3, 2, 2, 2, 2, 2},
      // n = 49, data lines (1, 1), (2, 1), (46, 1): k = 3, census (3, 49) is 3
      // (n >= 10 k); plug-in: census (2, 3) = 2 for class 2 with the
      // singleton, plus 1 for class 46: 3. Fresh, the bootstrap gives 3.516
      // and rounds to 4; after the first file's 49001 steps (49000 draws,
      // one of them drawn again at the state 65535) it gives 3.472 and
      // rounds to 3, so a generator reset between files shows.
      {"n = 49", "49\r\n1 1\r\n2 1\r\n46 1\r\n", 49, 3, 3, 3, 4, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.Write("a.frq", c.bytes);
    dir.Write("b.frq", c.bytes);
    const std::vector<std::string> names = dir.FrqNames();
    ASSERT_EQ(names.size(), 2u);
    const RunResult run = RunBinary(dir.path(), {});
    ExpectExit(run, 0,
               DefaultTableLine + Banner(names[0]) + Estimates(c.k, c.S, c.first_B, c.P) +
                   Banner(names[1]) + Estimates(c.k, c.S, c.second_B, c.P) + Summary(0, 0));
    EXPECT_EQ(dir.Read("table.txt"), TableHeader + Row(names[0], c.n, c.k, c.P, c.first_B, c.S) +
                                         Row(names[1], c.n, c.k, c.P, c.second_B, c.S));
  }
}

// ---------------------------------------------------------------------------
// Failures that end the run with status 1.

TEST(EndToEndFailure, EntryThatCannotBeReadEndsRunAfterItsBanner) {
  struct Case {
    const char* what;
    std::vector<std::string> arguments;
    const char* name;
    void (*make)(const ScratchDir& dir);
    const char* error;
  };
  const Case cases[] = {
      {"a directory",
       {},
       "x.frq",
       [](const ScratchDir& dir) { ASSERT_EQ(::mkdir(dir.Path("x.frq").c_str(), 0755), 0); },
       "cannot open x.frq: Is a directory"},
      {"a FIFO",
       {},
       "p.frq",
       [](const ScratchDir& dir) { ASSERT_EQ(::mkfifo(dir.Path("p.frq").c_str(), 0644), 0); },
       "cannot open p.frq: Not a regular file"},
      {"a dangling symbolic link",
       {},
       "y.frq",
       [](const ScratchDir& dir) {
         ASSERT_EQ(::symlink("missing.txt", dir.Path("y.frq").c_str()), 0);
       },
       "cannot open y.frq: No such file or directory"},
      // The table is the one entry listed; the run holds it for writing.
      {"the table itself",
       {"t.frq"},
       "t.frq",
       [](const ScratchDir&) {},
       "cannot lock t.frq: Resource temporarily unavailable"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    c.make(dir);
    const RunResult run = RunBinary(dir.path(), c.arguments);
    ExpectExit(run, 1,
               (c.arguments.empty() ? DefaultTableLine : "") + Banner(c.name) +
                   Lines({std::string("Error: ") + c.error}));
    EXPECT_EQ(dir.Read(c.arguments.empty() ? "table.txt" : c.arguments[0]), TableHeader);
  }
}

TEST(EndToEndFailure, TableInMissingDirectoryEndsRunBeforeAnyEntry) {
  ScratchDir dir;
  dir.Write("one.frq", OneOptimum);
  const RunResult run = RunBinary(dir.path(), {"missing/t.txt"});
  ExpectExit(run, 1,
             Lines({"Error: cannot create table missing/t.txt: No such file or directory"}));
}

TEST(EndToEndFailure, FailedConsoleWriteEndsRun) {
  struct Case {
    const char* what;
    Output output;
    std::vector<std::string> arguments;
    const char* error;
  };
  // Without an argument the first line is the default-table line, written
  // before the table is created; with one it is the first banner, after it.
  const Case cases[] = {
      {"/dev/full", Output::DevFull, {}, "No space left on device"},
      {"a pipe without reader", Output::ClosedPipe, {}, "Broken pipe"},
      {"/dev/full, table given", Output::DevFull, {"t.txt"}, "No space left on device"},
      {"closed, table given", Output::Closed, {"t.txt"}, "Bad file descriptor"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.Write("one.frq", OneOptimum);
    const RunResult run = RunBinary(dir.path(), c.arguments, "", Input::Pipe, c.output);
    // The very first line fails, so the report goes to standard error; the
    // exit status shows the write failed rather than killing the process.
    ExpectExit(run, 1, "");
    EXPECT_EQ(run.errors,
              Lines({std::string("Error: cannot write to standard output: ") + c.error}));
    if (c.arguments.empty()) {
      EXPECT_FALSE(dir.Read("table.txt"));
    } else {
      EXPECT_EQ(dir.Read(c.arguments[0]), TableHeader);
    }
  }
}

TEST(EndToEndFailure, FailedPauseReadEndsRun) {
  ScratchDir dir;
  dir.Write("bad.frq", Unreadable);
  // Standard input is a directory: the pause's read fails.
  const RunResult run = RunBinary(dir.path(), {}, "", Input::Directory);
  ExpectExit(run, 1,
             DefaultTableLine + Banner("bad.frq") + Malformed("bad.frq", FirstLineMessage) +
                 Lines({"Error: cannot read standard input: Is a directory"}));
  EXPECT_EQ(dir.Read("table.txt"), TableHeader);
}

TEST(EndToEndFailure, TableOnFullDeviceFailsAtWriteOut) {
  ScratchDir dir;
  dir.Write("one.frq", OneOptimum);
  // The row is buffered, so the file's report completes; the write-out at
  // the end fails and no summary follows.
  const RunResult run = RunBinary(dir.path(), {"/dev/full"});
  ExpectExit(run, 1,
             Banner("one.frq") + OneOptimumReport() +
                 Lines({"Error: cannot write table /dev/full: No space left on device"}));
}

// Creates the three entries, then gives them `contents` in listing order;
// returns the names in that order.
std::vector<std::string> ThreeEntriesInListingOrder(const ScratchDir& dir,
                                                    const std::vector<const char*>& contents) {
  for (const char* name : {"a.frq", "b.frq", "c.frq"}) dir.Write(name, "");
  const std::vector<std::string> names = dir.FrqNames();
  for (size_t i = 0; i < names.size() && i < contents.size(); ++i) {
    dir.Write(names[i], contents[i]);
  }
  return names;
}

TEST(EndToEndFailure, SecondRunCannotTakeTableHeldByFirst) {
  ScratchDir dir;
  const std::vector<std::string> names =
      ThreeEntriesInListingOrder(dir, {OneOptimum, Unreadable, OneOptimum});
  ASSERT_EQ(names.size(), 3u);

  Child first(dir.path(), {});
  ASSERT_TRUE(first.WaitForOutput("Press Enter to continue.\r\n"));

  // The first run waits at its pause with the table open and locked.
  const RunResult second = RunBinary(dir.path(), {}, "", Input::DevNull);
  ExpectExit(second, 1,
             DefaultTableLine +
                 Lines({"Error: cannot lock table table.txt: Resource temporarily unavailable"}));

  // Released, the first run completes; its table is whole on disk while it
  // waits at the final pause.
  first.WriteInput("\n");
  ASSERT_TRUE(first.WaitForOutput("Press Enter.\r\n"));
  EXPECT_EQ(dir.Read("table.txt"), TableHeader + OneOptimumRow(names[0]) + OneOptimumRow(names[2]));
  first.CloseInput();
  const RunResult run = first.Finish();
  ExpectExit(run, 0,
             DefaultTableLine + Banner(names[0]) + OneOptimumReport() + Banner(names[1]) +
                 Malformed(names[1], FirstLineMessage) + Banner(names[2]) + OneOptimumReport() +
                 Summary(0, 0));
}

TEST(EndToEndFailure, EntryRemovedAfterListingEndsRunAndKeepsEarlierRows) {
  ScratchDir dir;
  const std::vector<std::string> names =
      ThreeEntriesInListingOrder(dir, {TwoOptima, Unreadable, OneOptimum});
  ASSERT_EQ(names.size(), 3u);

  Child child(dir.path(), {});
  ASSERT_TRUE(child.WaitForOutput("Press Enter to continue.\r\n"));
  ASSERT_EQ(::unlink(dir.Path(names[2]).c_str()), 0);
  child.WriteInput("\n");
  child.CloseInput();
  const RunResult run = child.Finish();
  ExpectExit(run, 1,
             DefaultTableLine + Banner(names[0]) + Estimates(2, 2, 2, 2) + Banner(names[1]) +
                 Malformed(names[1], FirstLineMessage) + Banner(names[2]) +
                 Lines({"Error: cannot open " + names[2] + ": No such file or directory"}));
  EXPECT_EQ(dir.Read("table.txt"), TableHeader + Row(names[0], 3, 2, 2, 2, 2));
}

TEST(EndToEndFailure, SymbolicLinkIsReadLikeItsTarget) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir(dir.Path("data").c_str(), 0755), 0);
  dir.Write("data/two.txt", TwoOptima);
  ASSERT_EQ(::symlink("data/two.txt", dir.Path("x.frq").c_str()), 0);
  const RunResult run = RunBinary(dir.path(), {});
  ExpectExit(run, 0, DefaultTableLine + Banner("x.frq") + Estimates(2, 2, 2, 2) + Summary(0, 0));
  EXPECT_EQ(dir.Read("table.txt"), TableHeader + Row("x.frq", 3, 2, 2, 2, 2));
}

}  // namespace
}  // namespace frq::test
