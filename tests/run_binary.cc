#include "run_binary.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace frq::test {

namespace {

// Generous, so that sanitizer builds pass; only a hung run reaches it.
constexpr std::chrono::seconds RunDeadline{60};

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void MakePipe(int ends[2]) {
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
}

bool EndsInFrq(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& ch : tail) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return tail == ".frq";
}

}  // namespace

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "frq-e2e-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::Write(const std::string& name, std::string_view bytes) const {
  std::ofstream file(Path(name), std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file.flush()) throw std::runtime_error("cannot write fixture " + name);
}

std::optional<std::string> ScratchDir::Read(const std::string& name) const {
  std::ifstream file(Path(name), std::ios::binary);
  if (!file.is_open()) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> ScratchDir::FrqNames() const {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path_.c_str());
  if (dir == nullptr) throw std::runtime_error("cannot list " + path_);
  while (const dirent* entry = ::readdir(dir)) {
    if (EndsInFrq(entry->d_name)) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  return names;
}

Child::Child(const std::string& dir, const std::vector<std::string>& arguments, Input input,
             Output output) {
  // A write to a pipe whose reader is gone must fail here, not end the tests.
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(FRQ_ESTIMATE_BINARY));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  if (input == Input::Pipe) MakePipe(in);
  if (output == Output::Pipe || output == Output::ClosedPipe) MakePipe(out);
  if (output == Output::ClosedPipe) CloseFd(out[0]);  // no reader from the start
  MakePipe(err);
  const int dev_null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int dev_full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);

  pid_ = ::fork();
  if (pid_ == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(127);
    if (input == Input::Pipe) ::dup2(in[0], 0);
    if (input == Input::DevNull) ::dup2(dev_null, 0);
    if (input == Input::Closed) ::close(0);
    if (input == Input::Directory) ::dup2(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), 0);
    if (output == Output::Closed) ::close(1);
    if (output == Output::DevFull) ::dup2(dev_full, 1);
    if (out[1] >= 0) ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    // Ignored signals stay ignored across exec: give the tool the default.
    ::signal(SIGPIPE, SIG_DFL);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(dev_null);
  ::close(dev_full);
  CloseFd(in[0]);
  CloseFd(out[1]);
  CloseFd(err[1]);
  input_ = in[1];
  output_ = out[0];
  errors_ = err[0];
  if (pid_ < 0) throw std::runtime_error("fork failed");
  deadline_ = Clock::now() + RunDeadline;
}

Child::~Child() {
  Kill();
  CloseFd(input_);
  CloseFd(output_);
  CloseFd(errors_);
}

void Child::WriteInput(std::string_view bytes) {
  while (input_ >= 0 && !bytes.empty()) {
    const ssize_t written = ::write(input_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // the run has stopped reading
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

void Child::CloseInput() { CloseFd(input_); }

bool Child::Collect(int wait_ms) {
  pollfd fds[2];
  int* owners[2];
  nfds_t count = 0;
  for (int* fd : {&output_, &errors_}) {
    if (*fd < 0) continue;
    fds[count] = {*fd, POLLIN, 0};
    owners[count++] = fd;
  }
  if (count == 0) return false;
  if (::poll(fds, count, wait_ms) < 0) return true;  // interrupted: try again
  for (nfds_t i = 0; i < count; ++i) {
    if (fds[i].revents == 0) continue;
    char buffer[4096];
    const ssize_t got = ::read(*owners[i], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      CloseFd(*owners[i]);
      continue;
    }
    (owners[i] == &output_ ? result_.output : result_.errors)
        .append(buffer, static_cast<size_t>(got));
  }
  return output_ >= 0 || errors_ >= 0;
}

bool Child::WaitForOutput(std::string_view text) {
  while (result_.output.find(text) == std::string::npos) {
    const int left = RemainingMs(deadline_);
    if (left == 0 || output_ < 0) return false;
    Collect(left);
  }
  return true;
}

RunResult Child::Finish() {
  while (Collect(RemainingMs(deadline_))) {
    if (RemainingMs(deadline_) == 0) break;
  }
  while (pid_ > 0) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      if (WIFEXITED(status)) result_.status = WEXITSTATUS(status);
      if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
    } else if (RemainingMs(deadline_) == 0) {
      Kill();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  CloseInput();
  return result_;
}

void Child::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  result_.timed_out = true;
}

RunResult RunBinary(const std::string& dir, const std::vector<std::string>& arguments,
                    std::string_view input, Input input_kind, Output output) {
  Child child(dir, arguments, input_kind, output);
  child.WriteInput(input);
  child.CloseInput();
  return child.Finish();
}

}  // namespace frq::test
