// The fuzz targets' reference model: the tool's rules restated in the
// plainest way, so each target can compare what the tool did with what the
// rules give, not only notice a crash.
#pragma once

#include <cstddef>
#include <string>

namespace reference {

// The code page 932 bytes of a UTF-8 text, converted by iconv, so the fixed
// texts below are written as they read rather than as byte escapes.
std::string Sjis(const std::string& utf8);

// The bytes a text-mode stream writes for text: every LF becomes CR LF and
// every other byte, CR included, is written unchanged.
std::string TextMode(const std::string& text);

// Each byte A-Z becomes a-z; nothing else changes.
std::string FoldLetters(const std::string& text);

// True when needle occurs in haystack as a run of bytes at any position;
// the empty needle occurs everywhere.
bool Contains(const std::string& haystack, const std::string& needle);

// What the tool keeps of a text it reads in UTF-16: the code units up to
// the first NUL, at most limit of them, each in code page 932 or '?' when
// the code page lacks it, then at most limit of those bytes.
std::string ReadInCp932(const std::u16string& units, std::size_t limit);

bool FileExists(const std::string& path);

// Reports the difference and aborts, so libFuzzer keeps the input.
void ExpectEqual(const char* what, const std::string& expected,
                 const std::string& actual);
void ExpectEqual(const char* what, long long expected, long long actual);

}  // namespace reference
