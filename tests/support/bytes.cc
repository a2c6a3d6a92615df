#include "support/bytes.h"

#include <iconv.h>

#include <cstdint>
#include <fstream>
#include <iterator>

bool ConvertToCp932(const std::string& utf8, std::string* cp932) {
  iconv_t converter = iconv_open("CP932", "UTF-8");
  // iconv_open reports failure as the handle (iconv_t)-1.
  if (reinterpret_cast<std::intptr_t>(converter) == -1) {
    return false;
  }
  std::string input = utf8;
  std::string output(input.size() * 2 + 1, '\0');
  char* in = input.data();
  std::size_t in_left = input.size();
  char* out = output.data();
  std::size_t out_left = output.size();
  std::size_t converted = iconv(converter, &in, &in_left, &out, &out_left);
  static_cast<void>(iconv_close(converter));
  output.resize(output.size() - out_left);
  *cp932 = output;
  return converted != static_cast<std::size_t>(-1) && in_left == 0;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}
