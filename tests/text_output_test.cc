#include "log/text_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>

namespace {

std::string Formatted(const char* format,
                      std::initializer_list<const char*> args) {
  std::FILE* stream = std::tmpfile();
  WriteFormatted(stream, format, args);
  std::rewind(stream);
  std::string bytes;
  for (int byte = std::fgetc(stream); byte != EOF; byte = std::fgetc(stream)) {
    bytes.push_back(static_cast<char>(byte));
  }
  std::fclose(stream);
  return bytes;
}

TEST(TextOutput, WritesLikeATextModeStream) {
  struct {
    const char* format;
    std::initializer_list<const char*> args;
    const char* expected;
  } cases[] = {
      {"line\n", {}, "line\r\n"},
      {"\n\n", {}, "\r\n\r\n"},
      // A carriage return passes unchanged, so CR LF becomes CR CR LF.
      {"text\r\n", {}, "text\r\r\n"},
      {"%% and %%%%", {}, "% and %%"},
      {"%s<%s>\n", {"a", "b"}, "a<b>\r\n"},
      // Inserted text is data: its marks are not interpreted.
      {"[%s]", {"%s %n %% %d"}, "[%s %n %% %d]"},
      {"[%s]", {"two\nlines\r\n"}, "[two\r\nlines\r\r\n]"},
      {"[%s]", {""}, "[]"},
      {"%d %x %", {}, "%d %x %"},
      {"%s and %s", {"one"}, "one and "},
      {"\x83\x5c%s", {"\x95\x5c"}, "\x83\x5c\x95\x5c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.expected, Formatted(c.format, c.args)) << c.format;
  }
}

}  // namespace
