// Times every fast path beside the straightforward evaluation of the same
// thing, in the same run, and prints both times and their ratio.
//
//   frq_benchmark PATH-TO-frq-estimate
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "benchmarks/landscapes.h"
#include "benchmarks/reference_estimators.h"
#include "estimators/bootstrap.h"
#include "estimators/ext_math.h"
#include "estimators/plugin.h"
#include "estimators/schnabel.h"
#include "input/frequency_file.h"

namespace frq {
namespace {

using Clock = std::chrono::steady_clock;

// Best of repeated runs, at least `runs` of them and until 0.3 s have passed
// (a straightforward run that takes longer than that runs once).
double Seconds(const std::function<void()>& work, int runs = 3) {
  double best = 1e300;
  const auto start = Clock::now();
  for (int i = 0; i < runs || std::chrono::duration<double>(Clock::now() - start).count() < 0.3;
       ++i) {
    const auto begin = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - begin).count());
    if (best > 1.0) break;
  }
  return best;
}

double worst_ratio = 1e300;

void Report(const std::string& name, double fast, double straight, bool counts = true) {
  std::printf("%-44s %11.3f ms %11.3f ms %8.1fx\n", name.c_str(), fast * 1e3, straight * 1e3,
              straight / fast);
  if (counts) worst_ratio = std::min(worst_ratio, straight / fast);
}

volatile int64_t sink;

struct Landscape {
  const char* name;
  int32_t optima;
  double skew;
  uint64_t seed;
};

constexpr Landscape Landscapes[] = {
    {"20000", 34300, 0.0, 1}, {"5000", 5000, 0.5, 2}, {"500", 500, 0.3, 3}, {"50", 50, 0.0, 4}};

// The report's three estimates of one table, from `state`.
template <typename Census, typename Bootstrap, typename Plugin>
void ThreeEstimates(const FrequencyTable& table, RandomState& state, Census census,
                    Bootstrap bootstrap, Plugin plugin) {
  EstimateFlags flags;
  const Estimate S = census(table.k, table.n, flags);
  int64_t total = S;
  if (!flags.overflow) {
    flags = EstimateFlags{};
    total += Round(bootstrap(table.f.data(), table.k, table.n, S, BootstrapReplicates, flags,
                             state));
  }
  flags = EstimateFlags{};
  total += plugin(table, flags);
  sink = total;
}

int64_t PeakChildKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss;
}

double RunTool(const std::string& binary, const std::filesystem::path& directory) {
  std::fflush(stdout);
  const auto begin = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(directory.c_str()) != 0) _exit(127);
    freopen("/dev/null", "r", stdin);
    freopen("/dev/null", "w", stdout);
    execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "the tool failed in %s\n", directory.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

int Main(int argc, char** argv) {
  std::printf("%-44s %14s %14s %9s\n", "case", "fast", "straight", "ratio");

  const int32_t census_cases[][2] = {
      {20000, 30000}, {5000, 30000}, {500, 30000}, {29989, 30000}, {30000, 30000}};
  for (const auto& [K, N] : census_cases) {
    const auto run = [K = K, N = N](auto estimate) {
      return [=] {
        EstimateFlags flags;
        sink = estimate(K, N, flags);
      };
    };
    // The ceiling path needs fresh logarithms for every distant probe; its
    // ratio is reported but not held to the others' bar.
    const bool ceiling = K >= 29989;
    Report("SchnabelEstimate(" + std::to_string(K) + ", " + std::to_string(N) + ")" +
               (ceiling ? " [ceiling]" : ""),
           Seconds(run(SchnabelEstimate)), Seconds(run(reference::SchnabelEstimate), 1),
           !ceiling);
  }

  std::vector<std::unique_ptr<FrequencyTable>> tables;
  for (const Landscape& landscape : Landscapes) {
    tables.push_back(std::make_unique<FrequencyTable>());
    SimulateRestarts(30000, landscape.optima, landscape.skew, landscape.seed, *tables.back());
  }
  for (const auto& table : tables) {
    const std::string label = "(n=30000, k=" + std::to_string(table->k) + ")";
    Report("PluginEstimate" + label,
           Seconds([&] {
             EstimateFlags flags;
             sink = PluginEstimate(*table, flags);
           }),
           Seconds([&] {
             EstimateFlags flags;
             sink = reference::PluginEstimate(*table, flags);
           }, 1));
    EstimateFlags flags;
    const Estimate M = SchnabelEstimate(table->k, table->n, flags);
    Report("BootstrapEstimate" + label,
           Seconds([&] {
             EstimateFlags marks;
             RandomState state;
             sink = Round(BootstrapEstimate(table->f.data(), table->k, table->n, M,
                                            BootstrapReplicates, marks, state));
           }),
           Seconds([&] {
             EstimateFlags marks;
             RandomState state;
             sink = Round(reference::BootstrapEstimate(table->f.data(), table->k, table->n, M,
                                                       BootstrapReplicates, marks, state));
           }, 1));
  }

  if (argc > 1) {
    const std::filesystem::path directory =
        std::filesystem::temp_directory_path() / ("frq-benchmark-" + std::to_string(getpid()));
    std::filesystem::create_directories(directory);
    for (size_t i = 0; i < tables.size(); ++i) {
      std::ofstream(directory / ("landscape-" + std::string(Landscapes[i].name) + ".frq"),
                    std::ios::binary)
          << FrequencyFileText(*tables[i]);
    }
    // The straightforward run reads the same files and makes the same calls,
    // one random state for the whole run, as the tool does.
    const auto straight_run = [&] {
      RandomState state;
      auto table = std::make_unique<FrequencyTable>();
      for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        if (entry.path().extension() != ".frq") continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), {});
        StringSource source(bytes);
        if (!ReadFrequencyFile(source, *table).valid) std::exit(1);
        ThreeEstimates(*table, state, reference::SchnabelEstimate, reference::BootstrapEstimate,
                       reference::PluginEstimate);
      }
    };
    const std::string binary = std::filesystem::absolute(argv[1]).string();
    const double fast = Seconds([&] { RunTool(binary, directory); });
    Report("frq-estimate over the four files", fast, Seconds(straight_run, 1));
    std::filesystem::remove_all(directory / "table.txt");
    for (size_t i = 0; i < tables.size(); ++i) {
      std::filesystem::path single = directory / Landscapes[i].name;
      std::filesystem::create_directories(single);
      std::filesystem::copy_file(
          directory / ("landscape-" + std::string(Landscapes[i].name) + ".frq"),
          single / "landscape.frq");
      const double wall = Seconds([&] { RunTool(binary, single); });
      std::printf("frq-estimate on one file, k=%-6d %13.3f s wall\n", tables[i]->k, wall);
    }
    std::printf("peak resident memory of the tool: %lld KiB\n",
                static_cast<long long>(PeakChildKilobytes()));
    std::filesystem::remove_all(directory);
  }
  std::printf("smallest ratio outside the ceiling path: %.1fx\n", worst_ratio);
  return 0;
}

}  // namespace
}  // namespace frq

int main(int argc, char** argv) { return frq::Main(argc, argv); }
