// One sweep over the fake desktop, timed four ways: the tool's VisitWindow
// logging to a real file; the same with the per-line flush switched off; the
// same with no log at all, as when c:\temp is missing, which leaves reading,
// folding and matching; and a bare loop that reads the same facts through
// the same seam and does nothing with them. The bare loop is the floor any
// sweep pays; the differences between neighbours price the flush, the
// writing of the line, and the match.
//
//   sweep_bench [--log=PATH] [benchmark flags]
//   sweep_bench --instructions=tool|tool-no-flush|tool-no-log|bare
//               --windows=N
//               [--sweeps=K] [--log=PATH]
//     runs K sweeps with only them collected, for
//     valgrind --tool=callgrind --collect-atstart=no
#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <valgrind/callgrind.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "allocation_count.h"
#include "app/search_term.h"
#include "desktop_titles.h"
#include "fake/fake_desktop.h"
#include "log/activity_log.h"
#include "log_flush_switch.h"
#include "match/visit_window.h"
#include "support/bytes.h"
#include "winsys/window_system.h"

namespace {

std::string log_path = "sweep_bench.log";

// The log is started afresh before it grows past this many lines, so a long
// benchmark does not fill the disk; the reopening is not timed.
constexpr std::int64_t kLinesPerLogFile = 1000000;

enum class Variant { kTool, kToolNoFlush, kToolNoLog, kBare };

void FillDesktop(std::int64_t windows) {
  fake::FakeDesktop& desktop = fake::Desktop();
  desktop.Reset();
  desktop.recording = false;
  for (std::int64_t index = 0; index < windows; ++index) {
    bench::DesktopWindow made =
        bench::MakeDesktopWindow(static_cast<std::size_t>(index));
    winsys::HWND window = desktop.AddWindow(Cp932ToUtf16(made.title),
                                            Cp932ToUtf16(made.class_name));
    desktop.SetStates(window, made.visible ? winsys::kTrue : winsys::kFalse,
                      made.enabled ? winsys::kTrue : winsys::kFalse,
                      winsys::kTrue);
  }
}

// Everything VisitWindow reads, into buffers of the same size, kept so the
// compiler cannot drop the reads.
winsys::BOOL BareVisit(winsys::HWND window, winsys::LPARAM /*unused*/) {
  winsys::WCHAR title[1024];
  winsys::WCHAR class_name[1024];
  title[0] = 0;
  class_name[0] = 0;
  winsys::GetWindowTextW(window, title, 1024);
  winsys::GetClassNameW(window, class_name, 1024);
  winsys::BOOL visible = winsys::IsWindowVisible(window);
  winsys::BOOL enabled = winsys::IsWindowEnabled(window);
  winsys::BOOL valid = winsys::IsWindow(window);
  benchmark::DoNotOptimize(title);
  benchmark::DoNotOptimize(class_name);
  benchmark::DoNotOptimize(visible);
  benchmark::DoNotOptimize(enabled);
  benchmark::DoNotOptimize(valid);
  return winsys::kTrue;
}

// The stream allocates its buffer on its first write; the start line makes
// that happen here rather than inside a measured sweep.
void OpenFreshLog() {
  CloseActivityLog();
  if (!OpenActivityLog(log_path.c_str())) {
    std::fprintf(stderr, "sweep_bench: cannot create %s\n", log_path.c_str());
    std::exit(1);
  }
  WriteStartLine();
}

winsys::WNDENUMPROC counted_visitor = nullptr;
std::uint64_t allocations_in_visits = 0;

winsys::BOOL CountingVisit(winsys::HWND window, winsys::LPARAM param) {
  std::uint64_t before = bench::AllocationCount();
  winsys::BOOL result = counted_visitor(window, param);
  allocations_in_visits += bench::AllocationCount() - before;
  return result;
}

// Allocations made by the visitor alone over one sweep, leaving out the
// fake desktop's own list of the windows it enumerates.
std::uint64_t CountVisitAllocations(winsys::WNDENUMPROC visitor) {
  counted_visitor = visitor;
  allocations_in_visits = 0;
  winsys::EnumChildWindows(nullptr, CountingVisit, 0);
  return allocations_in_visits;
}

void StartVariant(Variant variant) {
  StoreSearchTerm(bench::kUnmatchedTerm);
  bench::SkipLogFlushes(variant == Variant::kToolNoFlush);
  if (variant == Variant::kTool || variant == Variant::kToolNoFlush) {
    OpenFreshLog();
  }
}

void EndVariant() {
  CloseActivityLog();
  bench::SkipLogFlushes(false);
}

winsys::WNDENUMPROC VisitorOf(Variant variant) {
  return variant == Variant::kBare ? BareVisit : VisitWindow;
}

void SweepBenchmark(benchmark::State& state, Variant variant) {
  const std::int64_t windows = state.range(0);
  FillDesktop(windows);
  StartVariant(variant);
  winsys::WNDENUMPROC visitor = VisitorOf(variant);
  // A first sweep warms the caches and the file's pages.
  winsys::EnumChildWindows(nullptr, visitor, 0);
  std::uint64_t visit_allocations = CountVisitAllocations(visitor);

  std::int64_t lines = 2 * windows;
  std::uint64_t sweep_allocations = 0;
  std::uint64_t counted_from = bench::AllocationCount();
  for (auto _ : state) {
    winsys::EnumChildWindows(nullptr, visitor, 0);
    lines += windows;
    if (IsActivityLogOpen() && lines + windows > kLinesPerLogFile) {
      state.PauseTiming();
      sweep_allocations += bench::AllocationCount() - counted_from;
      OpenFreshLog();
      lines = 0;
      counted_from = bench::AllocationCount();
      state.ResumeTiming();
    }
  }
  sweep_allocations += bench::AllocationCount() - counted_from;
  EndVariant();

  const double visited =
      static_cast<double>(windows) * static_cast<double>(state.iterations());
  state.counters["time_per_window"] =
      benchmark::Counter(static_cast<double>(windows),
                         benchmark::Counter::kIsIterationInvariantRate |
                             benchmark::Counter::kInvert);
  state.counters["allocs_per_window"] =
      static_cast<double>(sweep_allocations) / visited;
  state.counters["visit_allocs_per_window"] =
      static_cast<double>(visit_allocations) / static_cast<double>(windows);
}

void ToolSweep(benchmark::State& state) {
  SweepBenchmark(state, Variant::kTool);
}
void ToolSweepNoFlush(benchmark::State& state) {
  SweepBenchmark(state, Variant::kToolNoFlush);
}
void ToolSweepNoLog(benchmark::State& state) {
  SweepBenchmark(state, Variant::kToolNoLog);
}
void BareSweep(benchmark::State& state) {
  SweepBenchmark(state, Variant::kBare);
}

void WindowCounts(benchmark::internal::Benchmark* benchmark) {
  for (std::int64_t windows : {10, 100, 1000, 10000, 100000}) {
    benchmark->Arg(windows);
  }
  benchmark->UseRealTime()->Unit(benchmark::kMicrosecond);
}

BENCHMARK(ToolSweep)->Apply(WindowCounts);
BENCHMARK(ToolSweepNoFlush)->Apply(WindowCounts);
BENCHMARK(ToolSweepNoLog)->Apply(WindowCounts);
BENCHMARK(BareSweep)->Apply(WindowCounts);

std::int64_t FileSize(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 ? status.st_size : -1;
}

// The figures mean something only if the counter sees allocations and the
// switch really holds back the log's flushes; both are checked on each run.
bool SelfCheck() {
  std::uint64_t before = bench::AllocationCount();
  std::vector<char> vector(64);
  benchmark::DoNotOptimize(vector.data());
  void* memory = std::malloc(32);
  benchmark::DoNotOptimize(memory);
  std::free(memory);
  if (bench::AllocationCount() - before < 2) {
    std::fprintf(stderr, "sweep_bench: the allocation counter sees nothing\n");
    return false;
  }
  FillDesktop(1);
  bool flushed[2];
  for (int skip = 0; skip < 2; ++skip) {
    StartVariant(skip ? Variant::kToolNoFlush : Variant::kTool);
    std::int64_t size = FileSize(log_path);
    winsys::EnumChildWindows(nullptr, VisitWindow, 0);
    flushed[skip] = FileSize(log_path) > size;
    EndVariant();
  }
  if (!flushed[0] || flushed[1]) {
    std::fprintf(stderr, "sweep_bench: the flush switch does not work\n");
    return false;
  }
  return true;
}

int CountInstructions(const std::string& variant_name, std::int64_t windows,
                      int sweeps) {
  Variant variant;
  if (variant_name == "tool") {
    variant = Variant::kTool;
  } else if (variant_name == "tool-no-flush") {
    variant = Variant::kToolNoFlush;
  } else if (variant_name == "tool-no-log") {
    variant = Variant::kToolNoLog;
  } else if (variant_name == "bare") {
    variant = Variant::kBare;
  } else {
    std::fprintf(stderr, "sweep_bench: unknown variant %s\n",
                 variant_name.c_str());
    return 2;
  }
  FillDesktop(windows);
  StartVariant(variant);
  winsys::WNDENUMPROC visitor = VisitorOf(variant);
  winsys::EnumChildWindows(nullptr, visitor, 0);
  CALLGRIND_TOGGLE_COLLECT;
  for (int sweep = 0; sweep < sweeps; ++sweep) {
    winsys::EnumChildWindows(nullptr, visitor, 0);
  }
  CALLGRIND_TOGGLE_COLLECT;
  EndVariant();
  std::printf("%s: %d sweeps of %lld windows collected\n", variant_name.c_str(),
              sweeps, static_cast<long long>(windows));
  return 0;
}

bool TakeFlag(const char* argument, const char* name, std::string* value) {
  std::size_t length = std::strlen(name);
  if (std::strncmp(argument, name, length) != 0 || argument[length] != '=') {
    return false;
  }
  *value = argument + length + 1;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string instructions;
  std::string windows = "1000";
  std::string sweeps = "10";
  std::vector<char*> rest;
  for (int index = 0; index < argc; ++index) {
    const char* argument = argv[index];
    bool ours = TakeFlag(argument, "--log", &log_path) ||
                TakeFlag(argument, "--instructions", &instructions) ||
                TakeFlag(argument, "--windows", &windows) ||
                TakeFlag(argument, "--sweeps", &sweeps);
    if (!ours) {
      rest.push_back(argv[index]);
    }
  }
  int rest_count = static_cast<int>(rest.size());
  rest.push_back(nullptr);

  if (!SelfCheck()) {
    return 1;
  }
  int status = 0;
  if (!instructions.empty()) {
    status = CountInstructions(instructions, std::atoll(windows.c_str()),
                               std::atoi(sweeps.c_str()));
  } else {
    benchmark::Initialize(&rest_count, rest.data());
    if (benchmark::ReportUnrecognizedArguments(rest_count, rest.data())) {
      return 2;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  std::remove(log_path.c_str());
  return status;
}
