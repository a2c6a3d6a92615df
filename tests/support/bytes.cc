#include "support/bytes.h"

#include <iconv.h>

#include <cstdint>
#include <fstream>
#include <iterator>

namespace {

// Converts input from one iconv encoding to another into *output. Returns
// false when iconv lacks either or cannot convert all of input.
bool Convert(const char* to, const char* from, const std::string& input,
             std::string* output) {
  iconv_t converter = iconv_open(to, from);
  // iconv_open reports failure as the handle (iconv_t)-1.
  if (reinterpret_cast<std::intptr_t>(converter) == -1) {
    return false;
  }
  std::string in_bytes = input;
  std::string out_bytes(in_bytes.size() * 2 + 1, '\0');
  char* in = in_bytes.data();
  std::size_t in_left = in_bytes.size();
  char* out = out_bytes.data();
  std::size_t out_left = out_bytes.size();
  std::size_t converted = iconv(converter, &in, &in_left, &out, &out_left);
  static_cast<void>(iconv_close(converter));
  out_bytes.resize(out_bytes.size() - out_left);
  *output = out_bytes;
  return converted != static_cast<std::size_t>(-1) && in_left == 0;
}

}  // namespace

bool ConvertToCp932(const std::string& utf8, std::string* cp932) {
  return Convert("CP932", "UTF-8", utf8, cp932);
}

std::u16string Cp932ToUtf16(const std::string& cp932) {
  std::string utf16;
  if (!Convert("UTF-16LE", "CP932", cp932, &utf16)) {
    return std::u16string();
  }
  std::u16string units;
  for (std::size_t at = 0; at + 1 < utf16.size(); at += 2) {
    units.push_back(static_cast<char16_t>(
        static_cast<unsigned char>(utf16[at]) |
        (static_cast<unsigned char>(utf16[at + 1]) << 8)));
  }
  return units;
}

int CodeUnitInCp932(char16_t unit, char* bytes) {
  // ASCII is itself in code page 932; most titles need no conversion.
  if (unit < 0x80) {
    bytes[0] = static_cast<char>(unit);
    return 1;
  }
  static iconv_t converter = iconv_open("CP932", "UTF-16LE");
  if (reinterpret_cast<std::intptr_t>(converter) == -1) {
    bytes[0] = '?';
    return 1;
  }
  char in_bytes[2] = {static_cast<char>(unit & 0xFF),
                      static_cast<char>(unit >> 8)};
  char* in = in_bytes;
  std::size_t in_left = sizeof in_bytes;
  char* out = bytes;
  std::size_t out_left = 2;
  if (iconv(converter, &in, &in_left, &out, &out_left) ==
      static_cast<std::size_t>(-1)) {
    // Back to the converter's first state for the next unit.
    static_cast<void>(iconv(converter, nullptr, nullptr, nullptr, nullptr));
    bytes[0] = '?';
    return 1;
  }
  return static_cast<int>(2 - out_left);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}
