// The command line the task's runner starts the tool with.
#pragma once

#include <string>

// The quoted program followed by the term as its one argument, quoted so
// that the C runtime's split of the command line gives the term back
// exactly, whatever it holds: spaces, quotation marks, backslashes, or
// characters that mean something to cmd, which never reads it.
std::u16string ToolCommandLine(const std::u16string& program,
                               const std::u16string& term);
