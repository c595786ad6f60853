// The message box as a real window: keys sent by another process, and the
// layout, text and formats read back while the box is open.
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <functional>
#include <string>

#include "support/Files.h"
#include "text/Common.h"
#include "ui/KMsgBox.h"
#include "ui/UiTestSupport.h"

using namespace uitest;

namespace {

const DWORD BoxTimeoutMs = 30000;

// Starts the key sender, which waits for the box and then sends `keys`.
class TKeys {
public:
  explicit TKeys(const std::string& keys)
  {
    FStarted = FChild.Start(BinDir() + "ui_keysend.exe", std::to_string(BoxTimeoutMs) + " " + keys);
  }
  // True when the sender ran, found the box and sent its keys.
  bool Delivered() { return FStarted && FChild.Wait(BoxTimeoutMs) == 0; }

private:
  TChild FChild;
  bool FStarted = false;
};

int AnswerWith(const std::string& keys, unsigned flags, const std::string& buttons = "")
{
  TKeys sender(keys);
  int result = MsgBox(1, "Question?", "Confirm", flags, 0, buttons);
  EXPECT_TRUE(sender.Delivered()) << keys;
  return result;
}

// Runs `probe` on the open box from a timer of this thread (the box's modal
// loop dispatches it), then closes the box.
std::function<void(HWND)> GProbe;
bool GProbed = false;
bool GCloseAfterProbe = true;

void CALLBACK ProbeTimer(HWND, UINT, UINT_PTR id, DWORD)
{
  HWND box = FindWindowA("KMsgBox", nullptr);
  if (!box || !IsWindowVisible(box) || ChildrenOfClass(box, "Button").empty()) return;
  KillTimer(nullptr, id);
  GProbed = true;
  GProbe(box);
  if (GCloseAfterProbe) PostMessageA(box, WM_CLOSE, 0, 0);
}

template <typename Show>
void WithOpenBox(Show show, std::function<void(HWND)> probe, bool close = true)
{
  GCloseAfterProbe = close;
  GProbe = probe;
  GProbed = false;
  UINT_PTR timer = SetTimer(nullptr, 0, 30, ProbeTimer);
  show();
  KillTimer(nullptr, timer);
  EXPECT_TRUE(GProbed);
}

HWND TextControl(HWND box)
{
  std::vector<HWND> c = ChildrenOfClass(box, "RICHEDIT");
  return c.empty() ? nullptr : c[0];
}

// Whether characters [from, to) of the control are all bold.
bool IsBold(HWND text, int from, int to)
{
  CHARRANGE range = {from, to};
  SendMessageA(text, EM_EXSETSEL, 0, (LPARAM)&range);
  CHARFORMATA cf = {};
  cf.cbSize = sizeof cf;
  SendMessageA(text, EM_GETCHARFORMAT, SCF_SELECTION, (LPARAM)&cf);
  return (cf.dwMask & CFM_BOLD) && (cf.dwEffects & CFE_BOLD);
}

bool IsPlain(HWND text, int from, int to)
{
  CHARRANGE range = {from, to};
  SendMessageA(text, EM_EXSETSEL, 0, (LPARAM)&range);
  CHARFORMATA cf = {};
  cf.cbSize = sizeof cf;
  SendMessageA(text, EM_GETCHARFORMAT, SCF_SELECTION, (LPARAM)&cf);
  return (cf.dwMask & CFM_BOLD) && !(cf.dwEffects & CFE_BOLD);
}

}  // namespace

// ------------------------------------------------------------------ keys

TEST(MsgBoxKeys, AltLetterAndLetterChooseTheirButton)
{
  EXPECT_EQ(AnswerWith("alt:n", MB_ICONQUESTION | MB_YESNO), IDNO);
  EXPECT_EQ(AnswerWith("N", MB_ICONQUESTION | MB_YESNO), IDNO);
  EXPECT_EQ(AnswerWith("alt:Y", MB_ICONQUESTION | MB_YESNO), IDYES);
  TKeys sender("alt:n");
  EXPECT_FALSE(AskYesNo(1, "Go on?"));
  EXPECT_TRUE(sender.Delivered());
}

TEST(MsgBoxKeys, EscapeClosesWithoutAResult)
{
  EXPECT_EQ(AnswerWith("vk:27", MB_ICONQUESTION | MB_YESNO), 0);
  TKeys sender("vk:27");
  EXPECT_FALSE(AskOkCancel(1, "Go on?"));
  EXPECT_TRUE(sender.Delivered());
}

TEST(MsgBoxKeys, EnterChoosesTheFocusedButton)
{
  EXPECT_EQ(AnswerWith("vk:13", MB_YESNO), IDYES);                  // default: first
  EXPECT_EQ(AnswerWith("vk:13", MB_YESNO | MB_DEFBUTTON2), IDNO);   // default: second
  EXPECT_EQ(AnswerWith("vk:13", MB_YESNO | MB_DEFBUTTON3), IDYES);  // index 2 modulo 2 buttons
}

TEST(MsgBoxKeys, ArrowsAndTabMoveTheFocusWithWrapping)
{
  EXPECT_EQ(AnswerWith("vk:9 vk:13", MB_YESNOCANCEL), IDNO);
  EXPECT_EQ(AnswerWith("vk:37 vk:13", MB_YESNOCANCEL), IDCANCEL);      // left from the first
  EXPECT_EQ(AnswerWith("vk:39 vk:40 vk:39 vk:13", MB_YESNOCANCEL), IDYES);  // past the last
  EXPECT_EQ(AnswerWith("vk:38 vk:13", MB_YESNO | MB_DEFBUTTON2), IDYES);
}

TEST(MsgBoxKeys, TranslatedCaptionsAndTheirLetters)
{
  const std::string german = "|&OK|&Abbrechen|&Ja|&Nein|&Abbruch|&Wiederholen|&Ignorieren|";
  {
    TKeys sender("J");
    EXPECT_TRUE(AskYesNo(1, "Weiter?", "", 0, german));
    EXPECT_TRUE(sender.Delivered());
  }
  {
    TKeys sender("N");
    EXPECT_FALSE(AskYesNo(1, "Weiter?", "", 0, german));
    EXPECT_TRUE(sender.Delivered());
  }
  // The default captions' letters mean nothing here.
  EXPECT_EQ(AnswerWith("Y vk:27", MB_YESNO, german), 0);
  WithOpenBox([&] { AskYesNo(1, "Weiter?", "", 0, german); },
              [](HWND box) {
                std::vector<HWND> b = ChildrenOfClass(box, "Button");
                ASSERT_EQ(b.size(), 2u);
                EXPECT_EQ(TextOf(b[0]), "&Ja");
                EXPECT_EQ(TextOf(b[1]), "&Nein");
              });
}

TEST(MsgBoxKeys, AbortRetryIgnore)
{
  EXPECT_EQ(AnswerWith("A", MB_ABORTRETRYIGNORE), IDABORT);
  EXPECT_EQ(AnswerWith("R", MB_ABORTRETRYIGNORE), IDRETRY);
  EXPECT_EQ(AnswerWith("I", MB_ABORTRETRYIGNORE), IDIGNORE);
}

TEST(MsgBoxKeys, ButtonClickGivesItsResult)
{
  WithOpenBox([] { EXPECT_EQ(MsgBox(1, "x", "t", MB_RETRYCANCEL, 0, ""), IDCANCEL); },
              [](HWND box) {
                std::vector<HWND> b = ChildrenOfClass(box, "Button");
                ASSERT_EQ(b.size(), 2u);
                SendMessageA(b[1], BM_CLICK, 0, 0);
              });
}

// ------------------------------------------------------------------ text

TEST(MsgBoxText, OwnerCodeZeroRepeatsTheCaptionInBold)
{
  WithOpenBox([] { AskYesNo(0, "Proceed?<P>", "Confirm"); },
              [](HWND box) {
                EXPECT_EQ(TextOf(box), "Confirm");
                HWND text = TextControl(box);
                ASSERT_TRUE(text);
                std::string shown = TextOf(text);
                EXPECT_EQ(shown.substr(0, 19), "CONFIRM\r\n\r\nProceed?") << shown;
                EXPECT_TRUE(IsBold(text, 0, 7));
                EXPECT_TRUE(IsPlain(text, 11, 19));
              });
  WithOpenBox([] { ShowAttention(0, "Done.", "Korvix Test Product"); },
              [](HWND box) {
                EXPECT_EQ(TextOf(box), "Korvix Test Product");
                std::string shown = TextOf(TextControl(box));
                EXPECT_EQ(shown.substr(0, 19), "Korvix Test Product") << shown;
              });
  // An empty caption takes the wrapper's default, upper-cased in the text.
  WithOpenBox([] { ShowError(0, "Broken."); },
              [](HWND box) {
                EXPECT_EQ(TextOf(box), "Error");
                EXPECT_EQ(TextOf(TextControl(box)).substr(0, 5), "ERROR");
              });
}

TEST(MsgBoxText, BoldSpansAndAnUnclosedTag)
{
  WithOpenBox([] { MsgBox(1, "<b>Bold</b> plain <B>open", "t", MB_OK, 0, ""); },
              [](HWND box) {
                HWND text = TextControl(box);
                ASSERT_TRUE(text);
                EXPECT_EQ(TextOf(text), "Bold plain open");
                EXPECT_TRUE(IsBold(text, 0, 4));
                EXPECT_TRUE(IsPlain(text, 4, 15));
              });
  WithOpenBox([] { ShowAttention(1, "Please insert <B>DISK #2</B> and press OK"); },
              [](HWND box) {
                HWND text = TextControl(box);
                EXPECT_EQ(TextOf(text), "Please insert DISK #2 and press OK");
                EXPECT_TRUE(IsPlain(text, 0, 14));
                EXPECT_TRUE(IsBold(text, 14, 21));
                EXPECT_TRUE(IsPlain(text, 21, 34));
              });
}

TEST(MsgBoxText, HebrewAndArabicReadRightToLeft)
{
  for (int charset : {177, 178}) {
    WithOpenBox([&] { ShowAttention(1, "text", "", charset); },
                [](HWND box) {
                  HWND text = TextControl(box);
                  EXPECT_TRUE(GetWindowLongA(text, GWL_STYLE) & ES_RIGHT);
                  EXPECT_TRUE(GetWindowLongA(text, GWL_EXSTYLE) & WS_EX_RTLREADING);
                });
  }
  WithOpenBox([] { ShowAttention(1, "text", "", 0); },
              [](HWND box) {
                HWND text = TextControl(box);
                EXPECT_FALSE(GetWindowLongA(text, GWL_STYLE) & ES_RIGHT);
                EXPECT_FALSE(GetWindowLongA(text, GWL_EXSTYLE) & WS_EX_RTLREADING);
              });
}

// ------------------------------------------------------------------ layout

TEST(MsgBoxLayout, ShortTextGivesAWideCentredBox)
{
  WithOpenBox([] { ShowError(1, "Hi"); },
              [](HWND box) {
                RECT r, wa = WorkArea();
                GetWindowRect(box, &r);
                int w = r.right - r.left, h = r.bottom - r.top;
                EXPECT_GE(w, 360);
                EXPECT_EQ(r.left, wa.left + (wa.right - wa.left - w) / 2);
                EXPECT_EQ(r.top, wa.top + (wa.bottom - wa.top - h) / 2);
                EXPECT_TRUE(GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST);

                RECT c;
                GetClientRect(box, &c);
                std::vector<HWND> b = ChildrenOfClass(box, "Button");
                ASSERT_EQ(b.size(), 1u);
                RECT br = ClientRectOf(b[0]);
                EXPECT_EQ(br.left, c.right - 80);
                EXPECT_EQ(br.top, c.bottom - 29);
                EXPECT_EQ(br.right - br.left, 70);
                EXPECT_EQ(br.bottom - br.top, 23);
                EXPECT_EQ(TextOf(b[0]), "&OK");
                EXPECT_EQ(GetFocus(), b[0]);

                // The text control sits in the middle of the area right of the band.
                RECT tr = ClientRectOf(TextControl(box));
                int tw = tr.right - tr.left;
                EXPECT_LT(tw, 200);
                EXPECT_EQ(tr.left, 54 + (c.right - tw - 54) / 2);
              });
}

TEST(MsgBoxLayout, ThreeButtonsFromTheRight)
{
  WithOpenBox([] { MsgBox(1, "x", "t", MB_YESNOCANCEL | MB_DEFBUTTON3, 0, ""); },
              [](HWND box) {
                RECT c;
                GetClientRect(box, &c);
                std::vector<HWND> b = ChildrenOfClass(box, "Button");
                ASSERT_EQ(b.size(), 3u);
                EXPECT_EQ(ClientRectOf(b[0]).left, c.right - 220);
                EXPECT_EQ(ClientRectOf(b[1]).left, c.right - 150);
                EXPECT_EQ(ClientRectOf(b[2]).left, c.right - 80);
                EXPECT_EQ(TextOf(b[2]), "&Cancel");
                EXPECT_EQ(GetFocus(), b[2]);
                EXPECT_TRUE(GetWindowLongA(b[2], GWL_STYLE) & BS_DEFPUSHBUTTON);
                EXPECT_FALSE(GetWindowLongA(b[0], GWL_STYLE) & BS_DEFPUSHBUTTON);
              });
}

TEST(MsgBoxLayout, LongLinesAreMeasuredAtMost600Wide)
{
  int lineHeight = MeasureMsgBoxText("x").cy;
  ASSERT_GT(lineHeight, 0);
  EXPECT_EQ(MeasureMsgBoxText("").cy, lineHeight);
  EXPECT_EQ(MeasureMsgBoxText("a\r\nb\r\n").cy, 2 * lineHeight);

  // A line of about 900 pixels: the width stops at 600, the height counts two lines.
  std::string line;
  while (line.size() < 2000 && MeasureMsgBoxText(line).cy < 2 * lineHeight) line += "W";
  std::string wide = line + line.substr(0, line.size() / 2);
  SIZE s = MeasureMsgBoxText(wide);
  EXPECT_EQ(s.cx, 600);
  EXPECT_EQ(s.cy, 2 * lineHeight);
  EXPECT_EQ(MeasureMsgBoxText("short\r\n" + wide).cy, 3 * lineHeight);

  WithOpenBox([&] { MsgBox(1, wide, "t", MB_OK, 0, ""); },
              [](HWND box) {
                RECT tr;
                GetWindowRect(TextControl(box), &tr);
                EXPECT_EQ(tr.right - tr.left, 610);
              });
}

// ------------------------------------------------------------------ behaviour

TEST(MsgBoxBehaviour, OwnerCodeTwoGraysTheCloseItem)
{
  WithOpenBox([] { ShowAttention(2, "x"); },
              [](HWND box) {
                UINT state = GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
                EXPECT_TRUE(state & MF_GRAYED);
              });
  WithOpenBox([] { ShowAttention(1, "x"); },
              [](HWND box) {
                UINT state = GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
                EXPECT_FALSE(state & MF_GRAYED);
              });
}

TEST(MsgBoxBehaviour, AnswersAutoPlayWhileSuppressed)
{
  SetAutoPlaySuppression(true);
  UINT id = GetAutoPlayMessageId();
  ASSERT_NE(id, 0u);
  WithOpenBox([] { ShowAttention(1, "Insert the next disk"); },
              [&](HWND box) { EXPECT_EQ(SendMessageA(box, id, 0, 0), 1); });
  SetAutoPlaySuppression(false);
}

TEST(MsgBoxBehaviour, PreviousWindowIsDisabledAndRestored)
{
  HWND prev = CreateWindowExA(0, "STATIC", "previous", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                              200, 100, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(prev);
  SetActiveWindow(prev);
  ASSERT_EQ(GetActiveWindow(), prev);
  WithOpenBox([] { ShowAttention(1, "x"); },
              [&](HWND box) {
                EXPECT_FALSE(IsWindowEnabled(prev));
                EXPECT_EQ(GetWindow(box, GW_OWNER), prev);
              });
  EXPECT_TRUE(IsWindowEnabled(prev));
  EXPECT_EQ(GetActiveWindow(), prev);
  DestroyWindow(prev);
}

TEST(MsgBoxBehaviour, QuitMessageEndsTheBoxAndIsHandedOn)
{
  WithOpenBox([] { EXPECT_EQ(MsgBox(1, "x", "t", MB_YESNO, 0, ""), 0); },
              [](HWND) { PostQuitMessage(7); }, false);
  MSG m;
  ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_FALSE(FindWindowA("KMsgBox", nullptr));
}
