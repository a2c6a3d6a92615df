// The activity log under Wine on its own, timed inside the process so that
// no start-up or server round trip blurs it: the window-seen lines of three
// sweeps over the bench desktop, first written by the tool's own code,
// flushed line by line as it does, then the same bytes through the same
// writer into a stream that is only flushed when closed.
//
//   log_lines WINDOWS PATH
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../desktop_titles.h"
#include "log/activity_log.h"
#include "log/text_output.h"

namespace {

// The same bytes as the tool's window-seen line: %s が見つかりました。クラス名：%s
constexpr char kWindowSeenLine[] =
    "%s "
    "\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb5\x82\xbd\x81\x42"
    "\x83\x4e\x83\x89\x83\x58\x96\xbc\x81\x46%s\n";
constexpr int kSweeps = 3;

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: log_lines WINDOWS PATH\n");
    return 2;
  }
  long count = std::strtol(argv[1], nullptr, 10);
  const char* path = argv[2];
  std::vector<bench::DesktopWindow> windows;
  for (long index = 0; index < count; ++index) {
    windows.push_back(bench::MakeDesktopWindow(static_cast<std::size_t>(index)));
  }
  const double lines = static_cast<double>(kSweeps) * count;

  if (!OpenActivityLog(path)) {
    std::fprintf(stderr, "log_lines: cannot create %s\n", path);
    return 1;
  }
  WriteStartLine();
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceCounter(&start);
  for (int sweep = 0; sweep < kSweeps; ++sweep) {
    for (const bench::DesktopWindow& window : windows) {
      WriteWindowSeenLine(window.title.c_str(), window.class_name.c_str());
    }
  }
  QueryPerformanceCounter(&end);
  CloseActivityLog();
  double flushed = Seconds(start, end);

  std::FILE* stream = OpenUnsharedForUpdate(path);
  if (stream == nullptr) {
    std::fprintf(stderr, "log_lines: cannot create %s\n", path);
    return 1;
  }
  QueryPerformanceCounter(&start);
  for (int sweep = 0; sweep < kSweeps; ++sweep) {
    for (const bench::DesktopWindow& window : windows) {
      WriteFormatted(stream, kWindowSeenLine,
                     {window.title.c_str(), window.class_name.c_str()});
    }
  }
  std::fclose(stream);
  QueryPerformanceCounter(&end);
  double unflushed = Seconds(start, end);

  std::printf("flushed per line: %.3f us per line\n", flushed * 1e6 / lines);
  std::printf("flushed at close: %.3f us per line\n", unflushed * 1e6 / lines);
  return 0;
}
