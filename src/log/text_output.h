// Writing the tool's narrow texts to the console and the log with the bytes
// a text-mode stream of the Windows C runtime produces, on every platform.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>

// Writes format with each %s replaced by the next of args, inserted as data,
// and each %% as one %; every line feed goes out as CR LF. Flushes nothing.
void WriteFormatted(std::FILE* stream, const char* format,
                    std::initializer_list<const char*> args = {});

// Writes text as it is, but for every line feed going out as CR LF.
void WriteVerbatim(std::FILE* stream, const char* text);

// Writes a console message, format with no arguments, as WriteFormatted
// would, and flushes it; to a console window it goes as UTF-16 text through
// the console instead, so that it reads right whatever the console's code
// page.
void WriteConsoleMessage(std::FILE* stream, const char* format);

// When stream is a console window, writes text (code page 932) to it as
// UTF-16 and returns true; otherwise writes nothing and returns false.
bool WriteToConsoleWindow(std::FILE* stream, const std::string& text);

// Switches stream to untranslated bytes, since the line feeds are translated
// by the writers above.
void UseUntranslatedBytes(std::FILE* stream);

// Creates or empties path for reading and writing, held so that no other
// process can open it while it is open. Returns null on failure; on Windows
// also, leaving it untouched, when path is not a plain file of that name (a
// link, a hard link, a folder).
std::FILE* OpenUnsharedForUpdate(const char* path);
