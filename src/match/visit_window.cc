#include "match/visit_window.h"

#include <cstring>

#include "app/search_term.h"
#include "close/request_close.h"
#include "log/activity_log.h"
#include "match/spared_windows.h"
#include "winsys/shift_jis.h"

namespace {

// At most 1023 code units of a title or class name are read, and kept as
// at most 1023 bytes of code page 932, each with a NUL.
constexpr int kTextCapacity = 1024;

struct WindowFacts {
  char title[kTextCapacity];
  char class_name[kTextCapacity];
  winsys::BOOL visible;
  winsys::BOOL enabled;
  winsys::BOOL valid;
};

// Only A-Z are folded, one byte at a time: the second byte of a double-byte
// character in that range is folded like any other.
void CopyFolded(const char* text, char* folded) {
  for (; *text != '\0'; ++text, ++folded) {
    char byte = *text;
    *folded =
        (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte + 0x20) : byte;
  }
  *folded = '\0';
}

// The folded title is as large as the longest title, so titles of any
// length the platform gives are compared whole.
bool TitleContainsTerm(const char* title, const char* term) {
  char folded_title[kTextCapacity];
  char folded_term[kSearchTermCapacity];
  CopyFolded(title, folded_title);
  CopyFolded(term, folded_term);
  return std::strstr(folded_title, folded_term) != nullptr;
}

bool IsSelected(const WindowFacts& facts) {
  return TitleContainsTerm(facts.title, SearchTerm()) &&
         facts.visible == winsys::kTrue && facts.enabled == winsys::kTrue &&
         facts.valid == winsys::kTrue;
}

// Reads a title or class name with reader, in code page 932; empty when
// the read fails.
void ReadText(int (*reader)(winsys::HWND, winsys::WCHAR*, int),
              winsys::HWND window, char* text) {
  winsys::WCHAR wide[kTextCapacity];
  wide[0] = 0;
  reader(window, wide, kTextCapacity);
  // A reader that filled the buffer without a terminator is not trusted.
  wide[kTextCapacity - 1] = 0;
  CopyInShiftJis(wide, text, kTextCapacity);
}

}  // namespace

winsys::BOOL VisitWindow(winsys::HWND window, winsys::LPARAM /*unused*/) {
  WindowFacts facts;
  ReadText(winsys::GetWindowTextW, window, facts.title);
  ReadText(winsys::GetClassNameW, window, facts.class_name);
  WriteWindowSeenLine(facts.title, facts.class_name);

  facts.visible = winsys::IsWindowVisible(window);
  facts.enabled = winsys::IsWindowEnabled(window);
  facts.valid = winsys::IsWindow(window);
  // Spared windows are logged like any window but never asked to close,
  // and once the run has given up its requests, no window is.
  if (!IsSelected(facts) || IsSpared(window, facts.class_name) ||
      CloseRequestsGivenUp()) {
    return winsys::kTrue;
  }
  WriteWindowSelectedLine(facts.title);
  RequestClose(window);
  return winsys::kTrue;
}
