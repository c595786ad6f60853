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
bool GProbed;

// Runs ShowInform; once the dialog stands, `probe` runs on it (and closes it
// unless `close` is false).
bool Show(const std::string& link, const std::string& page, std::function<void(HWND)> probe,
          bool close = true) {
  bool result = false;
  GProbed = WithOpenWindow(
      KClass, nullptr,
      [&] {
        result = ShowInform(nullptr, "New Version", "Download", 0, 8, "Tahoma", false, 300, 400,
                            link, page);
      },
      probe, close);
  return result;
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

// A quit message that ends the dialog must reach the caller's loop too.
TEST(InformDialog, ShowsThePageOneAtATimeAndAQuitEndsItAndIsHandedOn) {
  auto probe = [](HWND dialog) {
    EXPECT_EQ(TextOf(ChildrenOfClass(dialog, "RICHEDIT").at(0)), "First line\r\nSecond line");
    EXPECT_FALSE(ShowInform(nullptr, "", "", 0, 8, "", false, 300, 300, "", "another page"));
    PostQuitMessage(7);
  };
  EXPECT_TRUE(Show("korvixtest:news", "First line\r\nSecond line", probe, false));
  EXPECT_TRUE(GProbed);
  EXPECT_FALSE(FindWindowA(KClass, nullptr));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST(InformLink, AnEmptyPageOpensTheTrimmedLinkAndFailsWhenNothingOpensIt) {
  TLinkHandler handler;
  // Closing the dialog opens nothing. The caller records the news as shown
  // on true, so a link that nothing opens must give false.
  EXPECT_TRUE(Show("korvixtest:closed", "News",
                   [](HWND d) { SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }));
  const std::pair<const char*, bool> cases[] = {
      {" korvixtest:direct ", true}, {"", false}, {"korvixnohandler:direct", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(Show(c.first, "", [](HWND) {}), c.second) << c.first;
    EXPECT_FALSE(GProbed) << "a window was shown for " << c.first;
  }
  EXPECT_EQ(handler.Opened(), "korvixtest:direct\n");
}
