#include "task/command_line.h"

#include <string>

namespace {

// The C runtime's rules: backslashes are literal unless a quotation mark
// follows them; then each pair gives one backslash, and an odd one makes
// the mark literal. So every run of backslashes before a mark, or before
// the closing mark, is doubled, and each mark within gets one more.
std::u16string Quoted(const std::u16string& argument) {
  std::u16string quoted = u"\"";
  std::u16string::size_type backslashes = 0;
  for (char16_t unit : argument) {
    if (unit == u'\\') {
      ++backslashes;
      continue;
    }
    if (unit == u'"') {
      quoted.append(2 * backslashes + 1, u'\\');
    } else {
      quoted.append(backslashes, u'\\');
    }
    backslashes = 0;
    quoted += unit;
  }
  quoted.append(2 * backslashes, u'\\');
  return quoted + u"\"";
}

}  // namespace

// The program's name is taken up to its closing mark, with no backslash
// rules: a path holds no quotation mark.
std::u16string ToolCommandLine(const std::u16string& program,
                               const std::u16string& term) {
  return u"\"" + program + u"\" " + Quoted(term);
}
