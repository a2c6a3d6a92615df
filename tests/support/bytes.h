// Byte helpers shared by the unit tests and the fuzz targets; free of any
// test framework so both can link them.
#pragma once

#include <string>

// Converts utf8 to code page 932 with iconv into cp932. Returns false when
// iconv lacks the code page or cannot convert all of utf8.
bool ConvertToCp932(const std::string& utf8, std::string* cp932);

// Writes one UTF-16 code unit's code page 932 bytes to bytes (room for two)
// and returns how many, as Windows converts a unit at a time: a unit the
// code page lacks, a surrogate among them, becomes '?'. Best-fit
// replacements (an accented e by a plain one) are not modelled. Allocates
// nothing after its first call, so benchmarks count only the tool's own.
int CodeUnitInCp932(char16_t unit, char* bytes);

// The UTF-16 code units of code page 932 bytes, converted by iconv; empty
// when they are not code page 932.
std::u16string Cp932ToUtf16(const std::string& cp932);

// The whole file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);
