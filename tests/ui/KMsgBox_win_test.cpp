// The message box as a real window: keys sent to it as the keyboard delivers
// them, and the text and formats read back while it is open.
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <functional>
#include <string>
#include <vector>

#include "support/Files.h"
#include "support/Handles.h"
#include "text/Common.h"
#include "ui/KMsgBox.h"
#include "ui/UiTestSupport.h"

using namespace uitest;

namespace {

// The class other programs look for; the box's loop starts once its buttons
// stand.
void WithOpenBox(std::function<void()> show, std::function<void(HWND)> probe, bool close = true) {
  EXPECT_TRUE(WithOpenWindow("KMsgBox", "Button", show, probe, close));
}

// Sends `keys` to the box that `show` opens from a key-sender process of its
// own (ui_keysend.exe, next to this program), as the keyboard would deliver
// them: Alt | c as WM_SYSCHAR, any other as the key down of that virtual key.
// Returns what `show` returned.
const unsigned KAlt = 0x10000;

template <typename Show>
auto Press(const std::vector<unsigned>& keys, Show show) {
  std::string cmd = "\"" + ProgramFolder(true) + "ui_keysend.exe\" 30000";
  for (unsigned k : keys)
    cmd += (k & KAlt) ? " alt:" + std::string(1, char(k & 0xFFFF)) : " vk:" + std::to_string(k);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  decltype(show()) result{};
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    ADD_FAILURE() << "cannot start the key sender: " << cmd;
    return result;
  }
  const TProcess sender(pi);
  result = show();
  DWORD code = 1;
  WaitForSingleObject(sender.Process.Get(), 30000);
  GetExitCodeProcess(sender.Process.Get(), &code);
  EXPECT_EQ(code, 0u) << "the key sender found no box";
  return result;
}

const std::string KGerman = "|&OK|&Abbrechen|&Ja|&Nein|&Abbruch|&Wiederholen|&Ignorieren|";

// 1 when characters [from, to) are all bold, 0 when none is, -1 when mixed.
int Boldness(HWND text, int from, int to) {
  CHARRANGE range = {from, to};
  SendMessageA(text, EM_EXSETSEL, 0, (LPARAM)&range);
  CHARFORMATA cf = {};
  cf.cbSize = sizeof cf;
  SendMessageA(text, EM_GETCHARFORMAT, SCF_SELECTION, (LPARAM)&cf);
  return !(cf.dwMask & CFM_BOLD) ? -1 : (cf.dwEffects & CFE_BOLD) ? 1 : 0;
}

}  // namespace

TEST(MsgBoxKeys, KeysChooseTheirButton) {
  const struct {
    std::vector<unsigned> Keys;
    unsigned Flags;
    std::string Buttons;
    int Result;
  } cases[] = {
      {{KAlt | 'n'}, MB_ICONQUESTION | MB_YESNO, "", IDNO},
      {{VK_RETURN}, MB_YESNO | MB_DEFBUTTON2, "", IDNO},
      {{VK_RETURN}, MB_YESNO | MB_DEFBUTTON3, "", IDYES},  // index 2 modulo 2 buttons
      {{VK_TAB, VK_RETURN}, MB_YESNOCANCEL, "", IDNO},
      {{VK_LEFT, VK_RETURN}, MB_YESNOCANCEL, "", IDCANCEL},  // wraps from the first
      {{'Y', VK_ESCAPE}, MB_YESNO, KGerman, 0},  // the default captions' letters mean nothing
  };
  for (const auto& c : cases) {
    int result =
        Press(c.Keys, [&] { return MsgBox(1, "Question?", "Confirm", c.Flags, 0, c.Buttons); });
    EXPECT_EQ(result, c.Result) << "flags " << c.Flags << ", first key " << c.Keys[0];
  }
  // The wrappers (clicks run end to end): closing is "no"; the translated
  // captions' letters.
  EXPECT_FALSE(Press({VK_ESCAPE}, [] { return AskOkCancel(1, "Go on?"); }));
  EXPECT_TRUE(Press({'J'}, [] { return AskYesNo(1, "Weiter?", "", 0, KGerman); }));
}

TEST(MsgBoxText, OwnerCodeZeroRepeatsTheCaptionInBoldAndHebrewReadsRightToLeft) {
  WithOpenBox([] { ShowError(0, "Proceed?<P>", "", 177); },
              [](HWND box) {
                EXPECT_EQ(TextOf(box), "Error");
                HWND text = ChildrenOfClass(box, "RICHEDIT").at(0);
                EXPECT_EQ(TextOf(text).substr(0, 17), "ERROR\r\n\r\nProceed?");
                EXPECT_EQ(Boldness(text, 0, 5), 1);
                EXPECT_EQ(Boldness(text, 9, 17), 0);
                EXPECT_NE(GetWindowLongA(text, GWL_EXSTYLE) & WS_EX_RTLREADING, 0);
              });
}

// The font of later boxes: an empty face is the system's choice for the
// character set (not the previous face), a size of 0 keeps the size.
TEST(MsgBoxText, FontComesFromSetMsgBoxFontEvenWithAnEmptyFace) {
  auto expectFont = [](const char* face, int points, int charset) {
    WithOpenBox(
        [] { MsgBox(1, "x", "t", MB_OK, 0, ""); },
        [&](HWND box) {
          LOGFONTA f = {};
          HWND button = ChildrenOfClass(box, "Button").at(0);
          ASSERT_TRUE(GetObjectA((HGDIOBJ)SendMessageA(button, WM_GETFONT, 0, 0), sizeof f, &f));
          EXPECT_STREQ(f.lfFaceName, face);
          EXPECT_EQ(f.lfHeight, -PointsToPixels(points));
          EXPECT_EQ(f.lfCharSet, charset);
        });
  };
  SetMsgBoxFont("Arial", 12, DEFAULT_CHARSET);
  expectFont("Arial", 12, DEFAULT_CHARSET);
  SetMsgBoxFont("", 0, RUSSIAN_CHARSET);
  expectFont("", 12, RUSSIAN_CHARSET);
}

TEST(MsgBoxBehaviour, OwnerCodeTwoAutoPlayAndThePreviousWindow) {
  HWND prev = CreateWindowExA(0, "STATIC", "previous", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                              200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(prev);
  SetActiveWindow(prev);
  SetAutoPlaySuppression(true);
  UINT autoPlay = GetAutoPlayMessageId();
  ASSERT_NE(autoPlay, 0u);
  for (int owner : {2, 1}) {
    WithOpenBox([&] { ShowAttention(owner, "Insert the next disk"); },
                [&](HWND box) {
                  UINT state = GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
                  EXPECT_EQ((state & MF_GRAYED) != 0, owner == 2);
                  EXPECT_EQ(SendMessageA(box, autoPlay, 0, 0), 1);
                  EXPECT_FALSE(IsWindowEnabled(prev));
                  EXPECT_EQ(GetWindow(box, GW_OWNER), prev);
                });
    EXPECT_TRUE(IsWindowEnabled(prev));
    EXPECT_EQ(GetActiveWindow(), prev);
  }
  SetAutoPlaySuppression(false);
  DestroyWindow(prev);
}

TEST(MsgBoxBehaviour, QuitMessageEndsTheBoxAndIsHandedOn) {
  WithOpenBox([] { EXPECT_EQ(MsgBox(1, "x", "t", MB_YESNO, 0, ""), 0); },
              [](HWND) { PostQuitMessage(7); }, false);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_FALSE(FindWindowA("KMsgBox", nullptr));
}
