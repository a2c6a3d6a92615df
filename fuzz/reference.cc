#include "reference.h"

#include <iconv.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace reference {
namespace {

[[noreturn]] void Fail(const char* what) {
  static_cast<void>(std::fprintf(stderr, "reference mismatch: %s\n", what));
  std::abort();
}

void PrintBytes(const char* label, const std::string& bytes) {
  static_cast<void>(
      std::fprintf(stderr, "  %s (%zu bytes):", label, bytes.size()));
  for (unsigned char byte : bytes) {
    static_cast<void>(std::fprintf(stderr, " %02x", byte));
  }
  static_cast<void>(std::fprintf(stderr, "\n"));
}

}  // namespace

std::string Sjis(const std::string& utf8) {
  iconv_t converter = iconv_open("CP932", "UTF-8");
  // iconv_open reports failure as the handle (iconv_t)-1.
  if (reinterpret_cast<std::intptr_t>(converter) == -1) {
    Fail("iconv has no CP932");
  }
  std::string input = utf8;
  std::string output(input.size() * 2 + 1, '\0');
  char* in = input.data();
  std::size_t in_left = input.size();
  char* out = output.data();
  std::size_t out_left = output.size();
  std::size_t converted = iconv(converter, &in, &in_left, &out, &out_left);
  iconv_close(converter);
  if (converted == static_cast<std::size_t>(-1) || in_left != 0) {
    Fail("iconv cannot convert a fixed text");
  }
  output.resize(output.size() - out_left);
  return output;
}

std::string TextMode(const std::string& text) {
  std::string written;
  for (char byte : text) {
    if (byte == '\n') {
      written += "\r\n";
    } else {
      written += byte;
    }
  }
  return written;
}

std::string FoldLetters(const std::string& text) {
  std::string folded;
  for (char byte : text) {
    if (byte >= 'A' && byte <= 'Z') {
      folded += static_cast<char>(byte - 'A' + 'a');
    } else {
      folded += byte;
    }
  }
  return folded;
}

bool Contains(const std::string& haystack, const std::string& needle) {
  for (std::size_t start = 0; start + needle.size() <= haystack.size();
       ++start) {
    if (haystack.compare(start, needle.size(), needle) == 0) {
      return true;
    }
  }
  return false;
}

std::string AsCString(const std::string& bytes, std::size_t limit) {
  std::string text = bytes.substr(0, bytes.find('\0'));
  return text.substr(0, limit);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

bool FileExists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0;
}

void ExpectEqual(const char* what, const std::string& expected,
                 const std::string& actual) {
  if (expected != actual) {
    PrintBytes("expected", expected);
    PrintBytes("actual", actual);
    Fail(what);
  }
}

void ExpectEqual(const char* what, long long expected, long long actual) {
  if (expected != actual) {
    static_cast<void>(std::fprintf(stderr, "  expected %lld, actual %lld\n",
                                   expected, actual));
    Fail(what);
  }
}

}  // namespace reference
