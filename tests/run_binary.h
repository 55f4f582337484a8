// Runs the built frq-estimate in a scratch directory: fixture files in,
// console bytes, standard error and exit status out, every wait bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace frq::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string Path(const std::string& name) const { return path_ + "/" + name; }
  // Creates or replaces the file `name` with exactly `bytes`.
  void Write(const std::string& name, std::string_view bytes) const;
  // The bytes of the file `name`; none when it does not exist.
  std::optional<std::string> Read(const std::string& name) const;
  // Names ending in ".frq" in any letter case, in the order the system
  // lists the directory: the order in which the tool processes them.
  std::vector<std::string> FrqNames() const;

 private:
  std::string path_;
};

// Standard input: a pipe, /dev/null, no descriptor at all, or a directory
// (every read fails).
enum class Input { Pipe, DevNull, Closed, Directory };
// Standard output: a pipe, /dev/full, a pipe whose reader is gone, or no
// descriptor at all.
enum class Output { Pipe, DevFull, ClosedPipe, Closed };

struct RunResult {
  std::string output;  // standard output; empty unless Output::Pipe
  std::string errors;  // standard error
  int status = -1;     // exit status; -1 when the process did not exit
  int signal = 0;      // the signal that ended it, if one did
  bool timed_out = false;
};

// The tool running in `dir`. Standard error is always a pipe; standard input
// a pipe that stays open until CloseInput or the end of Finish, so a pause
// blocks the run until a line is written. Every wait gives up after a
// deadline; a process still running then is killed.
class Child {
 public:
  Child(const std::string& dir, const std::vector<std::string>& arguments,
        Input input = Input::Pipe, Output output = Output::Pipe);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void WriteInput(std::string_view bytes);
  void CloseInput();
  // Collects standard output until it contains `text`; false when the
  // output ends or the deadline passes first.
  bool WaitForOutput(std::string_view text);
  // Waits for the process to exit, with standard input still open unless
  // closed before, and returns what it printed and its status.
  RunResult Finish();

 private:
  // Reads what is available, waiting at most `wait_ms`; false once both
  // output pipes have ended.
  bool Collect(int wait_ms);
  void Kill();

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int errors_ = -1;
  std::chrono::steady_clock::time_point deadline_;
  RunResult result_;
};

// Runs the tool in `dir` to its end with `input` on standard input (then its
// end) and returns what it printed and its status.
RunResult RunBinary(const std::string& dir, const std::vector<std::string>& arguments,
                    std::string_view input = "", Input input_kind = Input::Pipe,
                    Output output = Output::Pipe);

}  // namespace frq::test
