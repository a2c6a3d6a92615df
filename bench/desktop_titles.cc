#include "desktop_titles.h"

#include <cstdint>
#include <iterator>

namespace bench {
namespace {

// Shift_JIS words; several end in the byte 0x5C or hold bytes in 0x41-0x5A
// after a lead byte, which is what the byte-wise folding trips over.
const char* const kJapaneseWords[] = {
    "\x96\xb3\x91\xe8",                          // 無題
    "\x83\x81\x83\x82\x92\xa0",                  // メモ帳
    "\x95\xf1\x8d\x90\x8f\x91",                  // 報告書
    "\x89\xef\x8b\x63",                          // 会議
    "\x8b\x63\x8e\x96\x98\x5e",                  // 議事録
    "\x8c\xa9\x90\xcf\x8f\x91",                  // 見積書
    "\x90\xbf\x8b\x81\x8f\x91",                  // 請求書
    "\x90\x56\x82\xb5\x82\xa2\x83\x74\x83\x48"
    "\x83\x8b\x83\x5f\x81\x5b",                  // 新しいフォルダー
    "\x8e\xf3\x90\x4d\x83\x67\x83\x8c\x83\x43",  // 受信トレイ
    "\x90\xdd\x92\xe8",                          // 設定
    "\x83\x68\x83\x4c\x83\x85\x83\x81\x83\x93"
    "\x83\x67",                                  // ドキュメント
    "\x8e\xca\x90\x5e",                          // 写真
    "\x94\x84\x8f\xe3",                          // 売上
    "\x8e\x91\x97\xbf",                          // 資料
    "\x8c\x76\x89\xe6\x95\x5c",                  // 計画表
    "\x83\x5c\x83\x74\x83\x67\x83\x45\x83\x46"
    "\x83\x41",                                  // ソフトウェア
    "\x94\x5c\x97\xcd",                          // 能力
    "\x93\xfa\x96\x7b\x8c\xea",                  // 日本語
    "\x93\x8c\x8b\x9e",                          // 東京
    "\x91\xe5\x8d\xe3",                          // 大阪
    "\x91\xe6",                                  // 第
    "\x89\xf1",                                  // 回
    "\x8c\x8e\x8e\x9f",                          // 月次
    "\x94\x4e\x93\x78",                          // 年度
    "\x8e\xd0\x93\xe0",                          // 社内
    "\x8b\xa4\x97\x4c",                          // 共有
    "\x83\x76\x83\x8d\x83\x57\x83\x46\x83\x4e"
    "\x83\x67",                                  // プロジェクト
    "\x90\x69\x92\xbb",                          // 進捗
    "\x8a\x6d\x94\x46",                          // 確認
    "\x97\x5c\x92\xe8\x95\x5c",                  // 予定表
    "\x83\x47\x83\x4e\x83\x58\x83\x76\x83\x8d"
    "\x81\x5b\x83\x89\x81\x5b",                  // エクスプローラー
    "\x83\x5f\x83\x45\x83\x93\x83\x8d\x81\x5b"
    "\x83\x68",                                  // ダウンロード
    "\x83\x66\x83\x58\x83\x4e\x83\x67\x83\x62"
    "\x83\x76",                                  // デスクトップ
    "\x95\x5c\x8e\xa6",                          // 表示
    "\x95\xd2\x8f\x57",                          // 編集
    "\x83\x77\x83\x8b\x83\x76",                  // ヘルプ
};

const char* const kEnglishWords[] = {
    "Untitled", "Report",  "Q3",      "budget",   "final",   "v2",
    "Meeting",  "notes",   "Inbox",   "(12)",     "Draft",   "invoice",
    "2024-06",  "README",  "main.cc", "Settings", "Project", "plan",
    "Sales",    "summary", "Photos",  "Downloads", "review", "copy",
};

const char* const kApplications[] = {
    " - Notepad",       " - Spreadsheet", " - Word Processor",
    " - Mail",          " - Web Browser", " - File Explorer",
    " - Terminal",      " - Image Viewer", " - Code Editor",
};

const char* const kClassNames[] = {
    "Notepad",          "CabinetWClass",       "Chrome_WidgetWin_1",
    "MozillaWindowClass", "ConsoleWindowClass", "OpusApp",
    "XLMAIN",           "rctrl_renwnd32",      "IME",
    "MSCTFIME UI",      "GDI+ Hook Window Class", "OleMainThreadWndClass",
    "tooltips_class32", "Shell_TrayWnd",       "ApplicationFrameWindow",
    "Windows.UI.Core.CoreWindow",
};

// A small generator of its own, so every platform draws the same desktop.
class Draw {
 public:
  explicit Draw(std::size_t index)
      : state_(0x9e3779b97f4a7c15ULL * (index + 1)) {}
  std::uint32_t Next() {
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    return static_cast<std::uint32_t>((state_ * 0x2545f4914f6cdd1dULL) >> 32);
  }
  std::size_t Below(std::size_t bound) { return Next() % bound; }
  std::size_t Between(std::size_t low, std::size_t high) {
    return low + Below(high - low + 1);
  }

 private:
  std::uint64_t state_;
};

template <typename T, std::size_t N>
const char* Pick(Draw& draw, T (&words)[N]) {
  return words[draw.Below(N)];
}

// Whole words are appended while they fit, so a double-byte character is
// never cut; the rest is padded with digits, as in "report (2) 0417".
std::string MakeTitle(Draw& draw, std::size_t length, bool japanese) {
  std::string application = Pick(draw, kApplications);
  if (application.size() + 4 > length) {
    application.clear();
  }
  std::string title;
  while (true) {
    std::string word = japanese && draw.Below(4) != 0
                           ? Pick(draw, kJapaneseWords)
                           : Pick(draw, kEnglishWords);
    if (!title.empty()) {
      word.insert(0, draw.Below(3) == 0 ? "_" : " ");
    }
    if (title.size() + word.size() + application.size() > length) {
      break;
    }
    title += word;
  }
  if (title.size() + application.size() <= length) {
    title += application;
  }
  while (title.size() < length) {
    title += static_cast<char>('0' + draw.Below(10));
  }
  return title;
}

}  // namespace

DesktopWindow MakeDesktopWindow(std::size_t index) {
  Draw draw(index);
  // One window in 250 has a long title, as a browser tab with a long URL or
  // a file path does; the rest are 10 to 200 bytes.
  std::size_t length =
      index % 250 == 249 ? draw.Between(512, 1023) : draw.Between(10, 200);
  bool japanese = draw.Below(10) < 3;
  DesktopWindow window;
  window.title = MakeTitle(draw, length, japanese);
  window.class_name = Pick(draw, kClassNames);
  // Most top-level windows of a session are hidden helpers.
  window.visible = draw.Below(10) < 4;
  window.enabled = draw.Below(20) != 0;
  return window;
}

}  // namespace bench
