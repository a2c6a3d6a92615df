// Text the window system gives in UTF-16, in code page 932 (Shift_JIS), the
// code page of the log, the console messages and the term: converted here,
// explicitly, so that a PC whose own code page is another gives the same
// bytes as a Japanese one.
#pragma once

#include <string>

#include "winsys/window_system.h"

// The code page 932 bytes of wide (NUL-terminated), converted as the
// narrow functions convert on a PC whose code page is 932.
std::string InShiftJis(const winsys::WCHAR* wide);

// Writes the code page 932 bytes of wide (NUL-terminated) to text: at most
// capacity - 1 of them, where the narrow readers cut (the last character
// may lose its second byte), and a NUL. Allocates nothing. Returns the
// length.
int CopyInShiftJis(const winsys::WCHAR* wide, char* text, int capacity);
