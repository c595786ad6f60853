// The inform dialog as a real window: the page read back through its control,
// the link opened through the shell by a stand-in handler of a made-up
// scheme, and the ways the dialog ends.
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <functional>
#include <string>
#include <utility>

#include "support/Files.h"
#include "ui/StubInformDlg.h"
#include "ui/UiTestSupport.h"

using namespace uitest;

namespace {

std::function<void(HWND)> GProbe;
bool GProbed;
UINT_PTR GBackstop;

void CALLBACK Backstop(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  ADD_FAILURE() << "the dialog did not end; closed after 10 s";
  PostMessageA(FindWindowA(InformClassName, nullptr), WM_CLOSE, 0, 0);
}

// Runs ShowInform; once the dialog stands, `probe` runs on it from a thread
// timer that the dialog's own loop dispatches. A dialog still open 10 s
// later fails the test and is closed.
bool Show(const std::string& link, const std::string& page, std::function<void(HWND)> probe,
          int width = 400, int height = 300, const std::string& font = "Tahoma", bool rtl = false) {
  GProbe = probe;
  GProbed = false;
  UINT_PTR timer = SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = FindWindowA(InformClassName, nullptr);
    if (!dialog || !IsWindowVisible(dialog)) return;
    KillTimer(nullptr, id);
    GProbed = true;
    GBackstop = SetTimer(nullptr, 0, 10000, Backstop);
    GProbe(dialog);
  });
  bool result =
      ShowInform(nullptr, "New Version", "Download", 0, 8, font, rtl, height, width, link, page);
  KillTimer(nullptr, timer);
  if (GProbed) KillTimer(nullptr, GBackstop);
  return result;
}

void Close(HWND dialog) {
  PostMessageA(dialog, WM_CLOSE, 0, 0);
}

// The made-up scheme "korvixtest:" in the test prefix (Wine's shell reads the
// classes root only), opened by the link recorder next to this program.
struct TLinkHandler {
  std::string Log = TempFolder(true) + "korvix_inform_links.txt";
  TLinkHandler() {
    DeleteFileA(Log.c_str());
    std::string open = "\"" + ProgramFolder(true) + "ui_linkrecorder.exe\" \"" + Log + "\" \"%1\"";
    RegSetKeyValueA(HKEY_CLASSES_ROOT, "korvixtest", "URL Protocol", REG_SZ, "", 1);
    RegSetKeyValueA(HKEY_CLASSES_ROOT, "korvixtest\\shell\\open\\command", nullptr, REG_SZ,
                    open.c_str(), open.size() + 1);
  }
  ~TLinkHandler() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "korvixtest");
    DeleteFileA(Log.c_str());
  }
  // The links opened since the last call, one a line: waits up to 20 s for
  // the first, then half a second for any that should not come.
  std::string Opened() {
    for (int t = 0; t < 200 && !FileExists(Log); ++t) Sleep(100);
    Sleep(500);
    std::string links = ReadFilePart(Log, 4096, false, 0);
    DeleteFileA(Log.c_str());
    return links;
  }
};

}  // namespace

TEST(InformDialog, PageFontsAndWindowSize) {
  const struct {
    const char *Link, *Font, *PageFace;
    int Width, Height, OuterW, OuterH;  // asked for, and the window's size
  } cases[] = {
      {"", "Arial", "Arial", 400, 300, 400, 300},           // right to left
      {"korvixtest:news", "", "Verdana", 0, -5, 200, 150},  // too small: the minimum
  };
  for (const auto& c : cases) {
    bool rtl = !*c.Link;
    auto probe = [&](HWND dialog) {
      RECT r;
      GetWindowRect(dialog, &r);
      EXPECT_EQ(r.right - r.left, c.OuterW);
      EXPECT_EQ(r.bottom - r.top, c.OuterH);
      HWND page = ChildrenOfClass(dialog, "RICHEDIT").at(0);
      EXPECT_EQ(TextOf(page), "First line\r\nSecond line");
      CHARFORMATA cf = {};
      cf.cbSize = sizeof cf;
      SendMessageA(page, EM_GETCHARFORMAT, SCF_DEFAULT, (LPARAM)&cf);
      EXPECT_STREQ(cf.szFaceName, c.PageFace);
      EXPECT_EQ((GetWindowLongA(page, GWL_EXSTYLE) & WS_EX_RTLREADING) != 0, rtl);
      // One dialog at a time: a second page is refused while this one is open.
      EXPECT_FALSE(ShowInform(nullptr, "", "", 0, 8, "", false, 300, 300, "", "another page"));
      Close(dialog);
    };
    EXPECT_TRUE(Show(c.Link, "First line\r\nSecond line", probe, c.Width, c.Height, c.Font, rtl));
    EXPECT_TRUE(GProbed);
    EXPECT_FALSE(FindWindowA(InformClassName, nullptr));
  }
}

TEST(InformDialog, QuitMessageEndsTheDialogAndIsHandedOn) {
  EXPECT_TRUE(Show("", "News", [](HWND) { PostQuitMessage(7); }));
  EXPECT_FALSE(FindWindowA(InformClassName, nullptr));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST(InformLink, TheButtonOrAnEmptyPageOpensTheTrimmedLink) {
  TLinkHandler handler;
  // The dialog's button runs end to end (tests/agent/update_e2e.py, inform).
  EXPECT_TRUE(Show("", "News", [](HWND d) { SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }));
  // Without a page no window opens. The caller records the news as shown on
  // true, so a link that nothing opens must give false.
  const std::pair<const char*, bool> cases[] = {
      {" korvixtest:direct ", true}, {"", false}, {"korvixnohandler:direct", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(Show(c.first, "", Close), c.second) << c.first;
    EXPECT_FALSE(GProbed) << "a window was shown for " << c.first;
  }
  EXPECT_EQ(handler.Opened(), "korvixtest:direct\n");
}
