#include "log/text_output.h"

#include <cstring>
#include <string>

namespace {

// Hands bytes to write in runs, every line feed as CR LF.
template <typename Write>
void Translated(const char* bytes, std::size_t length, Write write) {
  const char* end = bytes + length;
  while (bytes < end) {
    const void* found = std::memchr(bytes, '\n', end - bytes);
    const char* line_feed =
        found != nullptr ? static_cast<const char*>(found) : end;
    write(bytes, static_cast<std::size_t>(line_feed - bytes));
    if (line_feed == end) {
      return;
    }
    write("\r\n", 2);
    bytes = line_feed + 1;
  }
}

// Hands format's text to write, translated: each %s replaced by the next of
// args, inserted as data, and each %% as one %.
template <typename Write>
void Format(const char* format, std::initializer_list<const char*> args,
            Write write) {
  const char* const* next_arg = args.begin();
  const char* literal = format;
  const char* at = format;
  while (*at != '\0') {
    if (at[0] != '%' || (at[1] != 's' && at[1] != '%')) {
      ++at;
      continue;
    }
    Translated(literal, at - literal, write);
    if (at[1] == '%') {
      Translated("%", 1, write);
    } else if (next_arg != args.end()) {
      const char* arg = *next_arg++;
      Translated(arg, std::strlen(arg), write);
    }
    at += 2;
    literal = at;
  }
  Translated(literal, at - literal, write);
}

// Short writes are not examined; the stream's owner never learns of them
// either way.
auto WriterTo(std::FILE* stream) {
  return [stream](const char* bytes, std::size_t length) {
    static_cast<void>(std::fwrite(bytes, 1, length, stream));
  };
}

}  // namespace

void WriteFormatted(std::FILE* stream, const char* format,
                    std::initializer_list<const char*> args) {
  Format(format, args, WriterTo(stream));
}

void WriteVerbatim(std::FILE* stream, const char* text) {
  Translated(text, std::strlen(text), WriterTo(stream));
}

void WriteConsoleMessage(std::FILE* stream, const char* format) {
  std::string text;
  Format(format, {}, [&text](const char* bytes, std::size_t length) {
    text.append(bytes, length);
  });
  if (!WriteToConsoleWindow(stream, text)) {
    static_cast<void>(std::fwrite(text.data(), 1, text.size(), stream));
  }
  // A console that cannot be written to changes nothing about the run.
  static_cast<void>(std::fflush(stream));
}
