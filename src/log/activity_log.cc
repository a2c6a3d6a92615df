#include "log/activity_log.h"

#include <cstdio>
#include <string>

#include "log/text_output.h"

namespace {

// The log's fixed texts, in Shift_JIS; %s takes a title or class name.
// 開始しました (started)
constexpr char kStartLine[] =
    "\x8a\x4a\x8e\x6e\x82\xb5\x82\xdc\x82\xb5\x82\xbd\n";
// %s が見つかりました。クラス名：%s (%s was found; class name: %s)
constexpr char kWindowSeenLine[] =
    "%s "
    "\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb5\x82\xbd\x81\x42"
    "\x83\x4e\x83\x89\x83\x58\x96\xbc\x81\x46%s\n";
// 指定したタイトルである %s が見つかりました (the specified title %s was found)
constexpr char kWindowSelectedLine[] =
    "\x8e\x77\x92\xe8\x82\xb5\x82\xbd\x83\x5e\x83\x43\x83\x67\x83\x8b\x82\xc5"
    "\x82\xa0\x82\xe9 %s "
    "\x82\xaa\x8c\xa9\x82\xc2\x82\xa9\x82\xe8\x82\xdc\x82\xb5"
    "\x82\xbd\n";
// WM_CLOSEに失敗しました (WM_CLOSE failed)
constexpr char kCloseFailedLine[] =
    "WM_CLOSE\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\n";
// 終了します (ending)
constexpr char kEndLine[] = "\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7\n";

std::FILE* activity_log = nullptr;

// Each line is flushed as it is written, so a run stopped from outside (a
// window that never accepts, a closed console) keeps every line so far.
void WriteLine(const char* format, std::initializer_list<const char*> args) {
  WriteFormatted(activity_log, format, args);
  // Write failures are not examined: a log that cannot be written changes
  // nothing about the run.
  static_cast<void>(std::fflush(activity_log));
}

}  // namespace

bool OpenActivityLog(const char* path) {
  activity_log = OpenUnsharedForUpdate(path);
  return activity_log != nullptr;
}

bool IsActivityLogOpen() { return activity_log != nullptr; }

void WriteStartLine() {
  if (IsActivityLogOpen()) {
    WriteLine(kStartLine, {});
  }
}

void WriteWindowSeenLine(const char* title, const char* class_name) {
  if (IsActivityLogOpen()) {
    WriteLine(kWindowSeenLine, {title, class_name});
  }
}

void WriteWindowSelectedLine(const char* title) {
  if (IsActivityLogOpen()) {
    WriteLine(kWindowSelectedLine, {title});
  }
}

void WriteCloseRefusedLines(const char* system_text) {
  if (!IsActivityLogOpen()) {
    return;
  }
  if (system_text != nullptr) {
    WriteVerbatim(activity_log, system_text);
  }
  WriteLine(kCloseFailedLine, {});
}

void WriteEndLine() {
  if (IsActivityLogOpen()) {
    WriteLine(kEndLine, {});
  }
}

bool EndsWithEndLine(const std::string& last_bytes) {
  // As written: its line feed went out as CR LF.
  std::string end_line(kEndLine, sizeof kEndLine - 2);
  end_line += "\r\n";
  if (last_bytes.size() < end_line.size() ||
      last_bytes.compare(last_bytes.size() - end_line.size(), end_line.size(),
                         end_line) != 0) {
    return false;
  }
  return last_bytes.size() == end_line.size() ||
         last_bytes[last_bytes.size() - end_line.size() - 1] == '\n';
}

void CloseActivityLog() {
  if (IsActivityLogOpen()) {
    static_cast<void>(std::fclose(activity_log));
    activity_log = nullptr;
  }
}
