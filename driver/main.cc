#include <csignal>
#include <string>
#include <vector>

#include "driver/batch_run.h"
#include "driver/console.h"
#include "driver/platform.h"

int main(int argc, char** argv) {
  // A closed pipe must fail the write, not kill the process silently.
  std::signal(SIGPIPE, SIG_IGN);
  frq::ReserveStandardDescriptors();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  frq::Console console;
  return frq::RunBatch(arguments, console);
}
