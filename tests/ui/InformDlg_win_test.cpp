// The inform dialog as a real window, and its link opened through the shell
// by a stand-in handler of a made-up scheme.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <utility>

#include "support/Files.h"
#include "ui/StubInformDlg.h"
#include "ui/UiTestSupport.h"

using namespace uitest;

namespace {

const char* const KClass = "KRichEditBox";  // the class other programs look for
std::function<void(HWND)> GProbe;
bool GProbed;

// Runs ShowInform; once the dialog stands, `probe` runs on it from a thread
// timer that the dialog's own loop dispatches.
bool Show(const std::string& link, const std::string& page, std::function<void(HWND)> probe) {
  GProbe = probe;
  GProbed = false;
  UINT_PTR timer = SetTimer(nullptr, 0, 30, [](HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = FindWindowA(KClass, nullptr);
    if (!dialog || !IsWindowVisible(dialog)) return;
    KillTimer(nullptr, id);
    GProbed = true;
    GProbe(dialog);
  });
  bool result =
      ShowInform(nullptr, "New Version", "Download", 0, 8, "Tahoma", false, 300, 400, link, page);
  KillTimer(nullptr, timer);
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
  // The links opened, one a line: waits up to 20 s for the first, then half
  // a second for any that should not come.
  std::string Opened() {
    for (int t = 0; t < 200 && !FileExists(Log); ++t) Sleep(100);
    Sleep(500);
    return ReadFilePart(Log, 4096, false, 0);
  }
};

}  // namespace

TEST(InformDialog, ShowsThePageOneDialogAtATime) {
  EXPECT_TRUE(Show("korvixtest:news", "First line\r\nSecond line", [](HWND dialog) {
    EXPECT_EQ(TextOf(ChildrenOfClass(dialog, "RICHEDIT").at(0)), "First line\r\nSecond line");
    EXPECT_FALSE(ShowInform(nullptr, "", "", 0, 8, "", false, 300, 300, "", "another page"));
    Close(dialog);
  }));
  EXPECT_TRUE(GProbed);
  EXPECT_FALSE(FindWindowA(KClass, nullptr));
}

TEST(InformDialog, QuitMessageEndsTheDialogAndIsHandedOn) {
  EXPECT_TRUE(Show("", "News", [](HWND) { PostQuitMessage(7); }));
  EXPECT_FALSE(FindWindowA(KClass, nullptr));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST(InformLink, AnEmptyPageOpensTheTrimmedLinkAndFailsWhenNothingOpensIt) {
  TLinkHandler handler;
  // Closing the window opens nothing. The caller records the news as shown
  // on true, so a link that nothing opens must give false.
  EXPECT_TRUE(Show("", "News", [](HWND d) { SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }));
  const std::pair<const char*, bool> cases[] = {
      {" korvixtest:direct ", true}, {"", false}, {"korvixnohandler:direct", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(Show(c.first, "", Close), c.second) << c.first;
    EXPECT_FALSE(GProbed) << "a window was shown for " << c.first;
  }
  EXPECT_EQ(handler.Opened(), "korvixtest:direct\n");
}
