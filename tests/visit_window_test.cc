#include "match/visit_window.h"

#include <string>
#include <vector>

#include "app/search_term.h"
#include "log/activity_log.h"
#include "support/test_support.h"

namespace {

using fake::Call;

std::string Repeat(const std::string& piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) {
    text += piece;
  }
  return text;
}

struct SelectionCase {
  const char* name;
  std::string title;  // as the window holds it, in UTF-8 here
  std::string term;   // code page 932 bytes, as the checks leave it
  winsys::BOOL visible;
  winsys::BOOL enabled;
  winsys::BOOL valid;
  bool selected;
};

const std::string kLongTitle =
    std::string(990, 'x') + "The End of a long title";

std::vector<SelectionCase> SelectionCases() {
  const std::string a = Sjis("ア");        // 83 41
  const std::string dji = Sjis("ヂ");      // 83 61
  const std::string wide_a = Sjis("Ａ");   // 82 60
  const std::string wide_sa = Sjis("ａ");  // 82 81
  return {
      {"LowerTerm", "Untitled - Notepad", "notepad", 1, 1, 1, true},
      {"UpperTerm", "Untitled - Notepad", "NOTEPAD", 1, 1, 1, true},
      {"EdgeLettersAAndZ", "ZIP Archive", "zip a", 1, 1, 1, true},
      {"MixedCase", "untitled - NOTEPAD", "NotePad", 1, 1, 1, true},
      {"Missing", "Untitled - Notepad", "wordpad", 1, 1, 1, false},
      {"Hidden", "Untitled - Notepad", "notepad", 0, 1, 1, false},
      {"Disabled", "Untitled - Notepad", "notepad", 1, 0, 1, false},
      {"NoLongerAWindow", "Untitled - Notepad", "notepad", 1, 1, 0, false},
      {"VisibleTwo", "Untitled - Notepad", "notepad", 2, 1, 1, false},
      {"EnabledTwo", "Untitled - Notepad", "notepad", 1, 2, 1, false},
      {"ValidMinusOne", "Untitled - Notepad", "notepad", 1, 1, -1, false},
      {"EmptyTermEmptyTitle", "", "", 1, 1, 1, true},
      {"EmptyTermAnyTitle", "Anything", "", 1, 1, 1, true},
      {"EmptyTermHidden", "", "", 0, 1, 1, false},
      {"EmptyTitle", "", "a", 1, 1, 1, false},
      {"TermLongerThanTitle", "ab", "abc", 1, 1, 1, false},
      // Folding is by byte: the second byte of ア (0x41) folds to that of ヂ.
      {"KatakanaAMatchesDji", "xヂx", a, 1, 1, 1, true},
      {"KatakanaDjiMatchesA", "xアx", dji, 1, 1, 1, true},
      {"MatchFromASecondByte", "ア", "a", 1, 1, 1, true},
      {"FullWidthNotFolded", "Ａ", wide_sa, 1, 1, 1, false},
      {"FullWidthItself", "xＡ", wide_a, 1, 1, 1, true},
      // Titles are compared in code page 932 whatever the PC's code page:
      // a Japanese term selects only the title that holds it, and a
      // character the code page lacks is '?' there, as on a Japanese PC.
      {"JapaneseTermInAJapaneseTitle", "売上 report", Sjis("売上"), 1, 1, 1,
       true},
      {"JapaneseTermInAnotherTitle", "集計 report", Sjis("売上"), 1, 1, 1,
       false},
      {"JapaneseTermInAKoreanTitle", "한국 report", Sjis("売上"), 1, 1, 1,
       false},
      {"KoreanTitleAsQuestionMarks", "한국 report", "?? report", 1, 1, 1, true},
      // Only A-Z fold: @ [ ` { sit just outside both ranges.
      {"NeighboursOfTheLetters", "@[", "`{", 1, 1, 1, false},
      {"LowerTitleUpperTerm", "`{", "@[", 1, 1, 1, false},
      // Half-width katakana, single bytes C1 DA, beside E1 FA.
      {"HighBytes", "ﾁﾚ", "\xe1\xfa", 1, 1, 1, false},
      {"LongestTerm", "[" + std::string(32, 'Q') + "]", std::string(32, 'q'), 1,
       1, 1, true},
      // Titles of any length the platform gives are compared whole.
      {"MatchPastByte511", kLongTitle, "THE END", 1, 1, 1, true},
      {"MatchAtTheLastByte", std::string(1022, 'x') + "Q", "xq", 1, 1, 1, true},
      {"LongTitleWithoutTheTerm", std::string(1023, 'x'), "y", 1, 1, 1, false},
      // The platform gives only the first 1023 bytes of a longer title.
      {"BeyondWhatThePlatformGives", std::string(1023, 'x') + "tail", "tail", 1,
       1, 1, false},
  };
}

void PrintTo(const SelectionCase& c, std::ostream* out) { *out << c.name; }

class VisitWindowSelection : public DesktopTest,
                             public testing::WithParamInterface<SelectionCase> {
};

TEST_P(VisitWindowSelection, SelectsByTitleAndStates) {
  const SelectionCase& c = GetParam();
  winsys::HWND window = desktop_.AddWindow(c.title, "Frame");
  desktop_.SetStates(window, c.visible, c.enabled, c.valid);
  StoreSearchTerm(c.term.c_str());

  EXPECT_EQ(winsys::kTrue, VisitWindow(window, 0));

  std::vector<std::string> requests =
      desktop_.Trace({Call::kSendMessageCallbackA});
  EXPECT_EQ(c.selected ? 1u : 0u, requests.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, VisitWindowSelection,
                         testing::ValuesIn(SelectionCases()),
                         [](const testing::TestParamInfo<SelectionCase>& info) {
                           return std::string(info.param.name);
                         });

class VisitWindow_ : public DesktopTest {
 protected:
  std::string VisitAndReadLog(winsys::HWND window) {
    EXPECT_TRUE(OpenActivityLog(log_path_.c_str()));
    VisitWindow(window, 0);
    CloseActivityLog();
    return LogBytes();
  }
};

// A visit acts on the window the enumeration hands it and on no other, and
// asks it only once its grace pause is over.
TEST_F(VisitWindow_, AsksOnlyTheWindowItIsHandedAfterTheGracePause) {
  desktop_.AddWindow("First - Notepad", "Notepad");
  winsys::HWND second = desktop_.AddWindow("Second - Notepad", "Notepad");
  StoreSearchTerm("notepad");

  VisitWindow(second, 0);

  EXPECT_EQ(
      (std::vector<std::string>{"Sleep 5000", "SendMessageCallbackA #2 0x10"}),
      desktop_.Trace({Call::kSleep, Call::kSendMessageCallbackA}));
  for (const fake::SeamCall& call : desktop_.calls) {
    EXPECT_TRUE(call.window == nullptr || call.window == second);
  }
}

TEST_F(VisitWindow_, LogsTheSelectedTitleAsRead) {
  winsys::HWND window = desktop_.AddWindow("Untitled - NOTEPAD", "Notepad");
  StoreSearchTerm("notepad");

  EXPECT_EQ(
      Sjis("Untitled - NOTEPAD が見つかりました。クラス名：Notepad\r\n"
           "指定したタイトルである Untitled - NOTEPAD が見つかりました\r\n"),
      VisitAndReadLog(window));
}

TEST_F(VisitWindow_, LogsAHiddenOrDisabledMatchAsSeenOnly) {
  winsys::HWND hidden = desktop_.AddWindow("Notepad", "A");
  winsys::HWND disabled = desktop_.AddWindow("Notepad", "B");
  desktop_.Hide(hidden);
  desktop_.Disable(disabled);
  StoreSearchTerm("notepad");

  EXPECT_EQ(Sjis("Notepad が見つかりました。クラス名：A\r\n"),
            VisitAndReadLog(hidden));
  EXPECT_EQ(Sjis("Notepad が見つかりました。クラス名：B\r\n"),
            VisitAndReadLog(disabled));
  EXPECT_TRUE(desktop_.Trace({Call::kSendMessageCallbackA}).empty());
}

TEST_F(VisitWindow_, WritesHostileTitlesAndClassNamesLiterally) {
  const std::string found = Sjis(" が見つかりました。クラス名：");
  struct {
    std::string title;
    std::string class_name;
    std::string expected;
  } cases[] = {
      {"%s", "%n", "%s" + found + "%n\r\n"},
      {"100% %d %%", "%s%s%s", "100% %d %%" + found + "%s%s%s\r\n"},
      {"", "", found + "\r\n"},
      {"two\nlines", "cr\rhere", "two\r\nlines" + found + "cr\rhere\r\n"},
      {"表示ソフト", "能", Sjis("表示ソフト") + found + Sjis("能\r\n")},
      {std::string(1023, 'T'), std::string(1023, 'C'),
       std::string(1023, 'T') + found + std::string(1023, 'C') + "\r\n"},
  };
  StoreSearchTerm("no such title");
  for (const auto& c : cases) {
    desktop_.Reset();
    winsys::HWND window = desktop_.AddWindow(c.title, c.class_name);
    EXPECT_EQ(c.expected, VisitAndReadLog(window)) << c.title;
  }
}

// Titles and class names are read in UTF-16 and logged in code page 932,
// as the narrow readers give them on a Japanese PC: a character the code
// page lacks becomes '?' (each half of a pair outside the first plane), and
// a title longer than 1023 bytes there is cut at its 1023rd byte, between
// the two bytes of a character if it falls so.
TEST_F(VisitWindow_, LogsTextsInCodePage932AsTheNarrowReadersGiveThem) {
  const std::string found = Sjis(" が見つかりました。クラス名：");
  const std::string japanese_600 = Sjis(Repeat("あ", 600));
  struct {
    std::u16string title;
    std::u16string class_name;
    std::string expected;
  } cases[] = {
      {u"売上 report", u"帳票", Sjis("売上 report") + found + Sjis("帳票\r\n")},
      {u"한국 report", u"Frame", "?? report" + found + "Frame\r\n"},
      {u"\U0001F600 report", u"Frame", "?? report" + found + "Frame\r\n"},
      {std::u16string(1, u'\xD800') + u"x", u"Frame",
       "?x" + found + "Frame\r\n"},
      {fake::Utf16(Repeat("あ", 600)), u"Frame",
       japanese_600.substr(0, 1023) + found + "Frame\r\n"},
      {fake::Utf16(Repeat("x", 1022) + "あ"), u"Frame",
       Repeat("x", 1022) + Sjis("あ").substr(0, 1) + found + "Frame\r\n"},
  };
  StoreSearchTerm("no such title");
  for (const auto& c : cases) {
    desktop_.Reset();
    winsys::HWND window = desktop_.AddWindow(c.title, c.class_name);
    EXPECT_EQ(c.expected, VisitAndReadLog(window)) << c.expected;
  }
}

TEST_F(VisitWindow_, FailedReadsGiveAnEmptyTitleAndClassName) {
  winsys::HWND window = desktop_.AddWindow("Unreadable", "Unreadable");
  desktop_.FailTextReads(window);
  StoreSearchTerm("unreadable");

  EXPECT_EQ(Sjis(" が見つかりました。クラス名：\r\n"), VisitAndReadLog(window));
  EXPECT_TRUE(desktop_.Trace({Call::kSendMessageCallbackA}).empty());
}

TEST_F(VisitWindow_, SelectedLineIsOnDiskBeforeTheGracePause) {
  winsys::HWND window = desktop_.AddWindow("%s\nmemo", "Memo");
  StoreSearchTerm("memo");
  std::string logged_before_pause;
  desktop_.on_sleep = [&](winsys::DWORD milliseconds) {
    if (milliseconds == 5000) {
      logged_before_pause = LogBytes();
    }
  };

  VisitAndReadLog(window);

  EXPECT_EQ("%s\r\nmemo" + Sjis(" が見つかりました。クラス名：Memo\r\n") +
                Sjis("指定したタイトルである ") + "%s\r\nmemo" +
                Sjis(" が見つかりました\r\n"),
            logged_before_pause);
}

TEST_F(VisitWindow_, SurvivesAWindowThatVanishesMidVisit) {
  winsys::HWND window = desktop_.AddWindow("Closing by itself", "Self");
  desktop_.VanishOnCall(window, Call::kGetClassNameW);
  StoreSearchTerm("closing");

  EXPECT_EQ(Sjis("Closing by itself が見つかりました。クラス名：\r\n"),
            VisitAndReadLog(window));
  EXPECT_TRUE(desktop_.Trace({Call::kSendMessageCallbackA}).empty());
}

}  // namespace
