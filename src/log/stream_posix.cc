// Off Windows the stdio streams never translate line feeds, and nothing but
// the tests open the log, so plain opening is enough.
#include "log/text_output.h"

void UseUntranslatedBytes(std::FILE* /*stream*/) {}

// Nothing here is a console window: the tests read what was written.
bool WriteToConsoleWindow(std::FILE* /*stream*/, const std::string& /*text*/) {
  return false;
}

std::FILE* OpenUnsharedForUpdate(const char* path) {
  return std::fopen(path, "w+b");
}
