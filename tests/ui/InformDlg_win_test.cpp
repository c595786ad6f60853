// The inform dialog as a real window: the page read back through its control,
// the layout while the window is resized, the link opened through the shell
// by a stand-in handler of a made-up scheme, and the ways the dialog ends.
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/Handles.h"
#include "ui/StubInformDlg.h"
#include "ui/UiTestSupport.h"

using namespace uitest;

namespace {

std::function<void(HWND)> GProbe;
bool GProbed, GCloseAfter;

void CALLBACK ProbeTimer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = FindWindowA(InformClassName, nullptr);
  if (!dialog || !IsWindowVisible(dialog)) return;
  KillTimer(nullptr, id);
  GProbed = true;
  GProbe(dialog);
  if (GCloseAfter) PostMessageA(dialog, WM_CLOSE, 0, 0);
}

// Runs `show`; once the dialog stands, `probe` runs on it from a thread timer
// that the dialog's own loop dispatches, and the dialog is closed unless
// `close` is false. Returns what `show` returned.
bool WhileOpen(const std::function<bool()>& show, const std::function<void(HWND)>& probe,
               bool close = true) {
  GProbe = probe;
  GProbed = false;
  GCloseAfter = close;
  UINT_PTR timer = SetTimer(nullptr, 0, 30, ProbeTimer);
  bool result = show();
  KillTimer(nullptr, timer);
  return result;
}

struct TInform {
  std::string Link;
  std::string Page = "News of the day";
  int Width = 360, Height = 360;
  std::string FontName = "Tahoma";
  bool RightToLeft = false;
  bool operator()() const {
    return ShowInform(nullptr, "New Version", "Download", 0, 8, FontName, RightToLeft, Height,
                      Width, Link, Page);
  }
};

HWND PageOf(HWND dialog) {
  std::vector<HWND> c = ChildrenOfClass(dialog, "RICHEDIT");
  return c.empty() ? nullptr : c[0];
}

std::string PageFace(HWND page) {
  CHARFORMATA cf = {};
  cf.cbSize = sizeof cf;
  SendMessageA(page, EM_GETCHARFORMAT, SCF_DEFAULT, (LPARAM)&cf);
  return cf.szFaceName;
}

std::string FontFace(HWND control) {
  LOGFONTA lf = {};
  GetObjectA((HGDIOBJ)SendMessageA(control, WM_GETFONT, 0, 0), sizeof lf, &lf);
  return lf.lfFaceName;
}

// The page fills the client area right of a 3-pixel margin; with a link it
// stops above a 43-pixel strip whose button is centred one pixel low.
void ExpectLayout(HWND dialog, bool withLink) {
  RECT c;
  GetClientRect(dialog, &c);
  ExpectPlace(PageOf(dialog), 3, 0, c.right - 3, withLink ? c.bottom - 43 : c.bottom);
  std::vector<HWND> buttons = ChildrenOfClass(dialog, "Button");
  ASSERT_EQ(buttons.size(), withLink ? 1u : 0u);
  if (withLink) ExpectPlace(buttons[0], (c.right - 160) / 2, c.bottom - 33, 160, 25);
}

// The made-up scheme "korvixtest:" registered in the test prefix, its handler
// the link recorder next to this program, writing to a file of ours. (Wine's
// shell reads the classes root only, not the user's own classes.)
struct TLinkHandler {
  std::string Log = TempFolder(true) + "korvix_inform_links.txt";
  const char* Key = "korvixtest";

  TLinkHandler() {
    DeleteFileA(Log.c_str());
    std::string open = "\"" + ProgramFolder(true) + "ui_linkrecorder.exe\" \"" + Log + "\" \"%1\"";
    Set(Key, "", "URL:korvixtest");
    Set(Key, "URL Protocol", "");
    Set((std::string(Key) + "\\shell\\open\\command").c_str(), "", open);
  }
  ~TLinkHandler() {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, Key);
    DeleteFileA(Log.c_str());
  }
  static void Set(const char* key, const char* name, const std::string& value) {
    HKEY raw = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw,
                              nullptr),
              ERROR_SUCCESS);
    TRegKey k(raw);
    RegSetValueExA(k.Get(), name, 0, REG_SZ, (const BYTE*)value.c_str(), value.size() + 1);
  }
  // The links opened so far, one a line, once `lines` have arrived (at most
  // 20 seconds), and after a further half second for any that should not.
  std::string Opened(int lines) {
    std::string text;
    for (int t = 0; t < 200; ++t, Sleep(100)) {
      text = ReadFilePart(Log, 4096, false, 0);
      if (std::count(text.begin(), text.end(), '\n') >= lines) break;
    }
    Sleep(500);
    return ReadFilePart(Log, 4096, false, 0);
  }
};

// Sends `key` to the open dialog from the key-sender process next to this
// program while `show` runs; returns what `show` returned.
bool Press(unsigned key, const std::function<bool()>& show) {
  std::string cmd = "\"" + ProgramFolder(true) + "ui_keysend.exe\" class:" + InformClassName +
                    " 30000 vk:" + std::to_string(key);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    ADD_FAILURE() << "cannot start the key sender: " << cmd;
    return false;
  }
  TProcess sender(pi);
  bool result = show();
  DWORD code = 1;
  WaitForSingleObject(sender.Process.Get(), 30000);
  GetExitCodeProcess(sender.Process.Get(), &code);
  EXPECT_EQ(code, 0u) << "the key sender found no dialog";
  return result;
}

}  // namespace

TEST(InformDialog, PageFillsTheWindowAndFollowsItsSize) {
  const struct {
    const char* Link;
    int Width, Height;   // asked for
    int OuterW, OuterH;  // the window's size
  } cases[] = {
      {"korvixtest:news", 400, 300, 400, 300},
      {"", 400, 300, 400, 300},
      {"korvixtest:news", 0, -5, 200, 150},  // too small to see: the minimum
  };
  for (const auto& c : cases) {
    TInform show;
    show.Link = c.Link;
    show.Width = c.Width;
    show.Height = c.Height;
    show.Page = "First line\r\nSecond line";
    bool withLink = *c.Link != 0;
    EXPECT_TRUE(WhileOpen(show, [&](HWND dialog) {
      RECT r;
      GetWindowRect(dialog, &r);
      EXPECT_EQ(r.right - r.left, c.OuterW);
      EXPECT_EQ(r.bottom - r.top, c.OuterH);
      EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - c.OuterW) / 2);
      EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - c.OuterH) / 2);
      EXPECT_EQ(TextOf(dialog), "New Version");
      ASSERT_TRUE(PageOf(dialog));
      EXPECT_EQ(TextOf(PageOf(dialog)), "First line\r\nSecond line");
      ExpectLayout(dialog, withLink);
      if (withLink) {
        HWND button = ChildrenOfClass(dialog, "Button")[0];
        EXPECT_EQ(TextOf(button), "Download");
        EXPECT_EQ(GetFocus(), button);
        EXPECT_TRUE(GetWindowLongA(button, GWL_STYLE) & BS_DEFPUSHBUTTON);
      }
      // Resizing moves the strip and the button and resizes the page.
      SetWindowPos(dialog, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
      ExpectLayout(dialog, withLink);
    })) << c.Link;
    EXPECT_TRUE(GProbed);
    EXPECT_FALSE(FindWindowA(InformClassName, nullptr));
  }
}

TEST(InformDialog, FontsAndReadingDirection) {
  const struct {
    const char* FontName;
    const char* PageFace;
    bool RightToLeft;
  } cases[] = {
      {"Tahoma", "Verdana", false},
      {"", "Verdana", false},
      {"Arial", "Arial", true},
  };
  for (const auto& c : cases) {
    TInform show;
    show.Link = "korvixtest:news";
    show.FontName = c.FontName;
    show.RightToLeft = c.RightToLeft;
    WhileOpen(show, [&](HWND dialog) {
      HWND page = PageOf(dialog);
      EXPECT_EQ(PageFace(page), c.PageFace);
      EXPECT_EQ(FontFace(ChildrenOfClass(dialog, "Button")[0]), c.FontName);
      EXPECT_EQ((GetWindowLongA(page, GWL_STYLE) & ES_RIGHT) != 0, c.RightToLeft);
      EXPECT_EQ((GetWindowLongA(page, GWL_EXSTYLE) & WS_EX_RTLREADING) != 0, c.RightToLeft);
    });
    EXPECT_TRUE(GProbed) << c.FontName;
  }
}

TEST(InformDialog, QuitMessageEndsTheDialogAndIsHandedOn) {
  TInform show;
  EXPECT_TRUE(WhileOpen(
      show, [](HWND) { PostQuitMessage(7); }, false));
  EXPECT_FALSE(FindWindowA(InformClassName, nullptr));
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST(InformLink, TheButtonOpensTheLinkEscapeAndCloseDoNot) {
  TLinkHandler handler;
  TInform withLink;
  withLink.Link = "  korvixtest:news?id=7  ";
  // Escape closes without opening; so does the window's Close on a page
  // without a link.
  EXPECT_TRUE(Press(VK_ESCAPE, withLink));
  TInform noLink;
  EXPECT_TRUE(WhileOpen(
      noLink, [](HWND d) { SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, false));
  EXPECT_TRUE(GProbed);
  // Enter on the focused button: the trimmed link goes to the shell.
  EXPECT_TRUE(Press(VK_RETURN, withLink));
  EXPECT_EQ(handler.Opened(1), "korvixtest:news?id=7\n");
}

TEST(InformLink, EmptyPageOpensTheLinkWithoutAWindow) {
  TLinkHandler handler;
  const struct {
    const char* Link;
    bool Result;
  } cases[] = {
      {" korvixtest:direct ", true},
      {"", false},
      // The caller records the news as shown on true: a link nothing opens
      // must say false.
      {"korvixnohandler:direct", false},
  };
  for (const auto& c : cases) {
    TInform show;
    show.Link = c.Link;
    show.Page.clear();
    EXPECT_EQ(WhileOpen(show, [](HWND) {}), c.Result) << c.Link;
    EXPECT_FALSE(GProbed) << "a window was shown for " << c.Link;
  }
  EXPECT_EQ(handler.Opened(1), "korvixtest:direct\n");
}
