#include "log/text_output.h"

#include <cstring>

namespace {

void WriteBytes(std::FILE* stream, const char* bytes, std::size_t length) {
  const char* end = bytes + length;
  while (bytes < end) {
    const void* found = std::memchr(bytes, '\n', end - bytes);
    const char* line_feed =
        found != nullptr ? static_cast<const char*>(found) : end;
    // Short writes are not examined; the stream's owner never learns of
    // them either way.
    static_cast<void>(std::fwrite(bytes, 1, line_feed - bytes, stream));
    if (line_feed == end) {
      return;
    }
    static_cast<void>(std::fwrite("\r\n", 1, 2, stream));
    bytes = line_feed + 1;
  }
}

}  // namespace

void WriteFormatted(std::FILE* stream, const char* format,
                    std::initializer_list<const char*> args) {
  const char* const* next_arg = args.begin();
  const char* literal = format;
  const char* at = format;
  while (*at != '\0') {
    if (at[0] != '%' || (at[1] != 's' && at[1] != '%')) {
      ++at;
      continue;
    }
    WriteBytes(stream, literal, at - literal);
    if (at[1] == '%') {
      WriteBytes(stream, "%", 1);
    } else if (next_arg != args.end()) {
      WriteVerbatim(stream, *next_arg++);
    }
    at += 2;
    literal = at;
  }
  WriteBytes(stream, literal, at - literal);
}

void WriteVerbatim(std::FILE* stream, const char* text) {
  WriteBytes(stream, text, std::strlen(text));
}
