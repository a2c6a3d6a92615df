// Byte helpers shared by the unit tests and the fuzz targets; free of any
// test framework so both can link them.
#pragma once

#include <string>

// Converts utf8 to code page 932 with iconv into cp932. Returns false when
// iconv lacks the code page or cannot convert all of utf8.
bool ConvertToCp932(const std::string& utf8, std::string* cp932);

// The whole file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
