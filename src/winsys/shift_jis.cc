#include "winsys/shift_jis.h"

#include <cstring>

namespace {

// The longest text the tool reads into a fixed buffer, in code units; each
// becomes at most two bytes.
constexpr int kLongestWideText = 1023;

int ShiftJisLength(const winsys::WCHAR* wide, int wide_length) {
  return winsys::WideCharToMultiByte(winsys::kShiftJisCodePage, 0, wide,
                                     wide_length, nullptr, 0, nullptr, nullptr);
}

}  // namespace

std::string InShiftJis(const winsys::WCHAR* wide) {
  const int size = ShiftJisLength(wide, -1);
  if (size <= 1) {
    return std::string();
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  if (winsys::WideCharToMultiByte(winsys::kShiftJisCodePage, 0, wide, -1,
                                  text.data(), size, nullptr,
                                  nullptr) != size) {
    return std::string();
  }
  text.resize(static_cast<std::size_t>(size) - 1);
  return text;
}

int CopyInShiftJis(const winsys::WCHAR* wide, char* text, int capacity) {
  int wide_length = 0;
  while (wide_length < kLongestWideText && wide[wide_length] != 0) {
    ++wide_length;
  }
  char converted[2 * kLongestWideText];
  int length =
      wide_length == 0
          ? 0
          : winsys::WideCharToMultiByte(
                winsys::kShiftJisCodePage, 0, wide, wide_length, converted,
                static_cast<int>(sizeof converted), nullptr, nullptr);
  // The narrow readers fill the buffer to its last byte but one, whether
  // or not a double-byte character ends there.
  if (length > capacity - 1) {
    length = capacity - 1;
  }
  if (length > 0) {
    std::memcpy(text, converted, static_cast<std::size_t>(length));
  }
  text[length] = '\0';
  return length;
}
