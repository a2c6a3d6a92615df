#include "task/verdict.h"

#include <string>
#include <utility>

namespace {

// The notes of the history line, in Shift_JIS; %s takes what the note names.
// タスクの引数には、タイトルの一部を 1
// つだけ指定します。空白を含むときは、全体を " で囲んでください。
constexpr char kTooManyArgumentsNote[] =
    "\x83\x5e\x83\x58\x83\x4e\x82\xcc\x88\xf8\x90\x94\x82\xc9\x82\xcd\x81"
    "\x41\x83\x5e\x83\x43\x83\x67\x83\x8b\x82\xcc\x88\xea\x95\x94\x82\xf0"
    " 1 \x82\xc2\x82\xbe\x82\xaf\x8e\x77\x92\xe8\x82\xb5\x82\xdc\x82\xb7"
    "\x81\x42\x8b\xf3\x94\x92\x82\xf0\x8a\xdc\x82\xde\x82\xc6\x82\xab\x82"
    "\xcd\x81\x41\x91\x53\x91\xcc\x82\xf0 \" \x82\xc5\x88\xcd\x82\xf1\x82"
    "\xc5\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42";
// 閉じたいウィンドウのタイトルの一部が、タスクの引数にも、レジストリの
// HKLM\SOFTWARE\Policies\tesmarinds と HKLM\SOFTWARE\tesmarinds の Term
// にもありません。
constexpr char kNoTermNote[] =
    "\x95\xc2\x82\xb6\x82\xbd\x82\xa2\x83\x45\x83\x42\x83\x93\x83\x68"
    "\x83\x45\x82\xcc\x83\x5e\x83\x43\x83\x67\x83\x8b\x82\xcc\x88\xea"
    "\x95\x94\x82\xaa\x81\x41\x83\x5e\x83\x58\x83\x4e\x82\xcc\x88\xf8"
    "\x90\x94\x82\xc9\x82\xe0\x81\x41\x83\x8c\x83\x57\x83\x58\x83\x67"
    "\x83\x8a\x82\xcc HKLM\\SOFTWARE\\Policies\\tesmarinds \x82\xc6 HKL"
    "M\\SOFTWARE\\tesmarinds \x82\xcc Term \x82\xc9\x82\xe0\x82\xa0"
    "\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// %s の Term が文字列（REG_SZ）ではありません。
constexpr char kTermNotTextNote[] =
    "%s \x82\xcc Term \x82\xaa\x95\xb6\x8e\x9a\x97\xf1\x81\x69REG_SZ"
    "\x81\x6a\x82\xc5\x82\xcd\x82\xa0\x82\xe8\x82\xdc\x82\xb9\x82\xf1"
    "\x81\x42";
// タイトルの一部が長すぎます（Shift_JIS で 32 バイトまで）。
constexpr char kTermTooLongNote[] =
    "\x83\x5e\x83\x43\x83\x67\x83\x8b\x82\xcc\x88\xea\x95\x94\x82\xaa"
    "\x92\xb7\x82\xb7\x82\xac\x82\xdc\x82\xb7\x81\x69Shift_JIS \x82\xc5"
    " 32 \x83\x6f\x83\x43\x83\x67\x82\xdc\x82\xc5\x81\x6a\x81\x42";
// ユーザーがサインインしているセッションではないため、ウィンドウを閉じられ
// ません（SYSTEM や「ユーザーがログオンしているかどうかにかかわらず実行する」
// のタスク）。
constexpr char kNoUserSessionNote[] =
    "\x83\x86\x81\x5b\x83\x55\x81\x5b\x82\xaa\x83\x54\x83\x43\x83\x93"
    "\x83\x43\x83\x93\x82\xb5\x82\xc4\x82\xa2\x82\xe9\x83\x5a\x83\x62"
    "\x83\x56\x83\x87\x83\x93\x82\xc5\x82\xcd\x82\xc8\x82\xa2\x82\xbd"
    "\x82\xdf\x81\x41\x83\x45\x83\x42\x83\x93\x83\x68\x83\x45\x82\xf0"
    "\x95\xc2\x82\xb6\x82\xe7\x82\xea\x82\xdc\x82\xb9\x82\xf1\x81\x69SY"
    "STEM \x82\xe2\x81\x75\x83\x86\x81\x5b\x83\x55\x81\x5b\x82\xaa"
    "\x83\x8d\x83\x4f\x83\x49\x83\x93\x82\xb5\x82\xc4\x82\xa2\x82\xe9"
    "\x82\xa9\x82\xc7\x82\xa4\x82\xa9\x82\xc9\x82\xa9\x82\xa9\x82\xed"
    "\x82\xe7\x82\xb8\x8e\xc0\x8d\x73\x82\xb7\x82\xe9\x81\x76\x82\xcc"
    "\x83\x5e\x83\x58\x83\x4e\x81\x6a\x81\x42";
// 順番のファイル c:\temp\Tesmarind-turn.txt を使えません（エラー %s）。
constexpr char kTurnUnusableNote[] =
    "\x8f\x87\x94\xd4\x82\xcc\x83\x74\x83\x40\x83\x43\x83\x8b c:\\temp"
    "\\Tesmarind-turn.txt \x82\xf0\x8e\x67\x82\xa6\x82\xdc\x82\xb9"
    "\x82\xf1\x81\x69\x83\x47\x83\x89\x81\x5b %s\x81\x6a\x81\x42";
// タイトルの一部に、空白だけを指定しないでください。
constexpr char kBlankNote[] =
    "\x83\x5e\x83\x43\x83\x67\x83\x8b\x82\xcc\x88\xea\x95\x94\x82\xc9\x81"
    "\x41\x8b\xf3\x94\x92\x82\xbe\x82\xaf\x82\xf0\x8e\x77\x92\xe8\x82\xb5"
    "\x82\xc8\x82\xa2\x82\xc5\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42";
// タイトルの一部に、全角の空白「　」があります。半角の空白にしてください。
constexpr char kFullWidthSpaceNote[] =
    "\x83\x5e\x83\x43\x83\x67\x83\x8b\x82\xcc\x88\xea\x95\x94\x82\xc9\x81"
    "\x41\x91\x53\x8a\x70\x82\xcc\x8b\xf3\x94\x92\x81\x75\x81\x40\x81\x76"
    "\x82\xaa\x82\xa0\x82\xe8\x82\xdc\x82\xb7\x81\x42\x94\xbc\x8a\x70\x82"
    "\xcc\x8b\xf3\x94\x92\x82\xc9\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3"
    "\x82\xa2\x81\x42";
// ほかの実行かプロセスが、%s 秒待っても終わりませんでした。
constexpr char kWaitedTooLongNote[] =
    "\x82\xd9\x82\xa9\x82\xcc\x8e\xc0\x8d\x73\x82\xa9\x83\x76\x83\x8d\x83"
    "\x5a\x83\x58\x82\xaa\x81\x41%s \x95\x62\x91\xd2\x82\xc1\x82\xc4\x82"
    "\xe0\x8f\x49\x82\xed\x82\xe8\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5"
    "\x82\xbd\x81\x42";
// tesmarinds がタイトルの一部を受け付けませんでした。
constexpr char kRejectedNote[] =
    "tesmarinds \x82\xaa\x83\x5e\x83\x43\x83\x67\x83\x8b\x82\xcc\x88\xea"
    "\x95\x94\x82\xf0\x8e\xf3\x82\xaf\x95\x74\x82\xaf\x82\xdc\x82\xb9\x82"
    "\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42";
// tesmarinds を起動できませんでした（エラー %s）。
constexpr char kNotStartedNote[] =
    "tesmarinds \x82\xf0\x8b\x4e\x93\xae\x82\xc5\x82\xab\x82\xdc\x82\xb9"
    "\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x69\x83\x47\x83\x89\x81\x5b %s"
    "\x81\x6a\x81\x42";
// tesmarinds が途中で止められました。
constexpr char kStoppedNote[] =
    "tesmarinds \x82\xaa\x93\x72\x92\x86\x82\xc5\x8e\x7e\x82\xdf\x82\xe7"
    "\x82\xea\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// ログを書けませんでした。
constexpr char kLogNotWrittenNote[] =
    "\x83\x8d\x83\x4f\x82\xf0\x8f\x91\x82\xaf\x82\xdc\x82\xb9\x82\xf1\x82"
    "\xc5\x82\xb5\x82\xbd\x81\x42";
// ログの最後が「終了します」ではありません。
constexpr char kNoEndLineNote[] =
    "\x83\x8d\x83\x4f\x82\xcc\x8d\xc5\x8c\xe3\x82\xaa\x81\x75\x8f\x49\x97"
    "\xb9\x82\xb5\x82\xdc\x82\xb7\x81\x76\x82\xc5\x82\xcd\x82\xa0\x82\xe8"
    "\x82\xdc\x82\xb9\x82\xf1\x81\x42";
// ログをコピーできませんでした。
constexpr char kCopyFailedNote[] =
    "\x83\x8d\x83\x4f\x82\xf0\x83\x52\x83\x73\x81\x5b\x82\xc5\x82\xab\x82"
    "\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd\x81\x42";
// 最後まで実行しました。コピー: %s
constexpr char kDoneNote[] =
    "\x8d\xc5\x8c\xe3\x82\xdc\x82\xc5\x8e\xc0\x8d\x73\x82\xb5\x82\xdc\x82"
    "\xb5\x82\xbd\x81\x42\x83\x52\x83\x73\x81\x5b: %s";
// （ほかの実行が終わるまで %s 秒待ちました）
constexpr char kWaitedNote[] =
    "\x81\x69\x82\xd9\x82\xa9\x82\xcc\x8e\xc0\x8d\x73\x82\xaa\x8f\x49\x82"
    "\xed\x82\xe9\x82\xdc\x82\xc5 %s \x95\x62\x91\xd2\x82\xbf\x82\xdc\x82"
    "\xb5\x82\xbd\x81\x6a";
// 前の実行のログが「終了します」で終わっていません（前に実行したユーザー:
// %s）。
constexpr char kStoppedRunNote[] =
    "\x91\x4f\x82\xcc\x8e\xc0\x8d\x73\x82\xcc\x83\x8d\x83\x4f\x82\xaa\x81"
    "\x75\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x81\x76\x82\xc5\x8f\x49"
    "\x82\xed\x82\xc1\x82\xc4\x82\xa2\x82\xdc\x82\xb9\x82\xf1\x81\x69\x91"
    "\x4f\x82\xc9\x8e\xc0\x8d\x73\x82\xb5\x82\xbd\x83\x86\x81\x5b\x83\x55"
    "\x81\x5b: %s\x81\x6a\x81\x42";
// 前の実行は最後まで実行しましたが、記録する前に止められました（前に実行した
// ユーザー: %s）。コピー:
constexpr char kStoppedBeforeRecordNote[] =
    "\x91\x4f\x82\xcc\x8e\xc0\x8d\x73\x82\xcd\x8d\xc5\x8c\xe3\x82\xdc"
    "\x82\xc5\x8e\xc0\x8d\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x82\xaa"
    "\x81\x41\x8b\x4c\x98\x5e\x82\xb7\x82\xe9\x91\x4f\x82\xc9\x8e\x7e"
    "\x82\xdf\x82\xe7\x82\xea\x82\xdc\x82\xb5\x82\xbd\x81\x69\x91\x4f"
    "\x82\xc9\x8e\xc0\x8d\x73\x82\xb5\x82\xbd\x83\x86\x81\x5b\x83\x55"
    "\x81\x5b: %s\x81\x6a\x81\x42\x83\x52\x83\x73\x81\x5b: ";

// A space typed with the Japanese input method on.
constexpr char16_t kFullWidthSpace = u'\u3000';
// The tool's messages kept in a note, at most.
constexpr std::size_t kLongestSaid = 512;

// note with its %s replaced by insert.
std::string Filled(const char* note, const std::string& insert) {
  std::string text = note;
  const std::string::size_type at = text.find("%s");
  return at == std::string::npos ? text : text.replace(at, 2, insert);
}

// A note followed by what the tool printed, on the one line.
std::string WithSaid(const char* note, const std::string& said) {
  std::string line;
  for (char byte : said.substr(0, kLongestSaid)) {
    line += byte == '\r' || byte == '\n' ? ' ' : byte;
  }
  const std::string::size_type end = line.find_last_not_of(' ');
  line.erase(end == std::string::npos ? 0 : end + 1);
  return line.empty() ? std::string(note) : std::string(note) + " " + line;
}

Verdict Finished(int status, std::string note) {
  return Verdict{Next::kFinish, status, std::move(note)};
}

Verdict Then(Next next) { return Verdict{next, kTaskDone, std::string()}; }

// An empty or blank term would select nearly every window; one holding a
// full-width space never matches a title written with an ordinary one.
Verdict JudgeTerm(const TermFacts& term) {
  if (term.arguments > 1) {
    return Finished(kTermRejected, kTooManyArgumentsNote);
  }
  if (!term.not_text_in.empty()) {
    return Finished(kNoTerm, Filled(kTermNotTextNote, term.not_text_in));
  }
  if (!term.found || term.text.empty()) {
    return Finished(kNoTerm, kNoTermNote);
  }
  if (term.text.find_first_not_of(u' ') == std::u16string::npos) {
    return Finished(kNoTerm, kBlankNote);
  }
  if (term.text.find(kFullWidthSpace) != std::u16string::npos) {
    return Finished(kNoTerm, kFullWidthSpaceNote);
  }
  // The tool refuses anything over 32 bytes itself; one too long for a
  // command line would never reach it.
  if (term.text.size() > kLongestTerm) {
    return Finished(kTermRejected, kTermTooLongNote);
  }
  return Then(Next::kTakeTurn);
}

// The tool ends 0 after its sweeps and 1 after refusing its argument, with
// a message; anything else is a run stopped from outside. A message after
// a run means it could not write its log.
Verdict JudgeToolRun(const ToolFacts& tool) {
  if (!tool.started) {
    return Finished(kLogNotWritten,
                    Filled(kNotStartedNote, std::to_string(tool.start_error)));
  }
  if (tool.status == 1 && !tool.said.empty()) {
    return Finished(kTermRejected, WithSaid(kRejectedNote, tool.said));
  }
  if (tool.status != 0) {
    return Finished(kRunNotEnded, kStoppedNote);
  }
  if (!tool.said.empty()) {
    return Finished(kLogNotWritten, WithSaid(kLogNotWrittenNote, tool.said));
  }
  if (tool.log == LogState::kUnended) {
    return Finished(kRunNotEnded, kNoEndLineNote);
  }
  if (tool.log != LogState::kEnded) {
    return Finished(kLogNotWritten, kLogNotWrittenNote);
  }
  return Then(Next::kCopyLog);
}

}  // namespace

Verdict JudgeTask(const TaskFacts& facts) {
  Verdict term = JudgeTerm(facts.term);
  if (term.next == Next::kFinish) {
    return term;
  }
  if (!facts.in_user_session) {
    return Finished(kNoUserSession, kNoUserSessionNote);
  }
  if (!facts.turn.tried) {
    return term;
  }
  if (facts.turn.unusable_error != 0) {
    return Finished(
        kLogNotWritten,
        Filled(kTurnUnusableNote, std::to_string(facts.turn.unusable_error)));
  }
  if (facts.turn.timed_out) {
    return Finished(kLogHeld, Filled(kWaitedTooLongNote,
                                     std::to_string(facts.turn.bound_s)));
  }
  if (!facts.tool.tried) {
    return Then(Next::kRunTool);
  }
  Verdict run = JudgeToolRun(facts.tool);
  if (run.next == Next::kFinish || !facts.copy.tried) {
    return run;
  }
  if (!facts.copy.copied) {
    return Finished(kCopyFailed, kCopyFailedNote);
  }
  std::string note = Filled(kDoneNote, facts.copy.name);
  if (facts.turn.waited_s > 0) {
    note += Filled(kWaitedNote, std::to_string(facts.turn.waited_s));
  }
  return Finished(kTaskDone, note);
}

std::string StoppedRunNote(const std::string& starter) {
  return Filled(kStoppedRunNote, starter);
}

std::string StoppedBeforeRecordNote(const std::string& starter,
                                    const CopyFacts& copy) {
  const std::string note = Filled(kStoppedBeforeRecordNote, starter);
  return copy.copied ? note + copy.name : note + kCopyFailedNote;
}
