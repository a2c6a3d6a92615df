#include "reference.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "support/bytes.h"

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
  std::string cp932;
  if (!ConvertToCp932(utf8, &cp932)) {
    Fail("iconv cannot convert a fixed text to CP932");
  }
  return cp932;
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

std::string ReadInCp932(const std::u16string& units, std::size_t limit) {
  std::string bytes;
  for (std::size_t at = 0; at < units.size() && at < limit && units[at] != 0;
       ++at) {
    char unit_bytes[2];
    bytes.append(unit_bytes, CodeUnitInCp932(units[at], unit_bytes));
  }
  return bytes.substr(0, limit);
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
