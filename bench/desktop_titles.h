// A made-up but plausible desktop: titles and class names as a busy Japanese
// Windows session shows them, the same for a given index on every run, so
// the native benchmarks and the Wine fixture sweep the same windows.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

struct DesktopWindow {
  std::string title;       // ANSI code page 932 bytes, 10 to 1023 of them
  std::string class_name;  // ASCII, registrable as a window class
  bool visible;
  bool enabled;
};

// The index-th window of the desktop.
DesktopWindow MakeDesktopWindow(std::size_t index);

// A search term that no title of MakeDesktopWindow contains, folded or not.
constexpr char kUnmatchedTerm[] = "no-such-window-zq7";

}  // namespace bench
