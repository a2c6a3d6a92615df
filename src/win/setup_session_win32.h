// What every custom action of the package reads of and writes to the
// installation it runs in. Only files of src/win/ include this header.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <msi.h>

#include <string>

// The property's value; empty when it has none. A deferred action has only
// CustomActionData.
std::wstring Property(MSIHANDLE install, const wchar_t* name);

// A line in the installation's log (msiexec /l*v), which is all an
// administrator sees of a custom action: "tesmarinds: " and text.
void Log(MSIHANDLE install, const std::wstring& text);

// The same UTF-16 text as src/setup/ and as Windows take it; Wide's points
// into text.
std::u16string Utf16(const wchar_t* text);
const wchar_t* Wide(const std::u16string& text);
// ASCII text (the reasons src/setup/ gives) in UTF-16.
std::wstring FromAscii(const std::string& text);
