// Off Windows the stdio streams never translate line feeds, and nothing but
// the tests open the log, so plain opening is enough.
#include "log/text_output.h"

void UseUntranslatedBytes(std::FILE* /*stream*/) {}

std::FILE* OpenUnsharedForUpdate(const char* path) {
  return std::fopen(path, "w+b");
}
