#include "ui/StubInformDlg.h"

#include <richedit.h>

#include <algorithm>

#include "support/ExecPipe.h"
#include "support/Handles.h"
#include "support/Win64.h"
#include "text/Common.h"
#include "ui/ModalLoop.h"

namespace {

// Layout in pixels: the page starts 3 pixels in from the left; the strip
// under it holds the link button, one pixel below the strip's centre.
const int KPageLeft = 3;
const int KStripHeight = 43;
const int KButtonWidth = 160;
const int KButtonHeight = 25;
const int KButtonFromBottom = 33;
// The page's font: a cell height, not a point size.
const int KPageFontHeight = 15;
// Descriptor sizes of 0 or less gave a window too small to see or close, and
// the agent then waited for it for ever; sizes are kept in this range.
const int KMinWidth = 200;
const int KMinHeight = 150;

// ---------------------------------------------------------------- module state

std::string GLink;
HWND GDialog = nullptr;
HWND GPage = nullptr;
HWND GButton = nullptr;
bool GClosed = false;
bool GOpen = false;
bool GLinkOpened = false;

// ---------------------------------------------------------------- window

void PlaceControls(HWND dialog) {
  RECT rc;
  if (!GetClientRect(dialog, &rc)) return;
  int pageHeight = GLink.empty() ? rc.bottom : rc.bottom - KStripHeight;
  if (GPage)
    MoveWindow(GPage, KPageLeft, 0, std::max(0, (int)rc.right - KPageLeft), std::max(0, pageHeight),
               TRUE);
  if (GButton)
    MoveWindow(GButton, (rc.right - KButtonWidth) / 2, rc.bottom - KButtonFromBottom, KButtonWidth,
               KButtonHeight, TRUE);
}

void PaintDialog(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT rc;
  GetClientRect(window, &rc);
  FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));
  if (!GLink.empty()) {
    RECT line = {0, rc.bottom - KStripHeight, rc.right, rc.bottom - KStripHeight + 1};
    FillRect(dc, &line, GetSysColorBrush(COLOR_3DDKSHADOW));
    RECT strip = {0, rc.bottom - KStripHeight + 1, rc.right, rc.bottom};
    FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
  }
  EndPaint(window, &ps);
}

// The link button: opens the link once (a second click before the dialog is
// gone must not start the browser twice) and closes the dialog.
void OpenLinkAndClose() {
  if (!GLinkOpened) {
    GLinkOpened = true;
    ShellOpen(GLink, "", SW_SHOWNORMAL);
  }
  PostMessageA(GDialog, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK InformProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SIZE:
      PlaceControls(window);
      return 0;
    case WM_PAINT:
      PaintDialog(window);
      return 0;
    case WM_COMMAND:
      if (GButton && (HWND)lParam == GButton && HIWORD(wParam) == BN_CLICKED) {
        OpenLinkAndClose();
        return 0;
      }
      break;
    case WM_DESTROY:
      GClosed = true;
      return 1;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

// Keys for the dialog or its controls, before dispatch: Enter on the focused
// link button presses it. Escape does nothing; the Close button and Alt+F4
// close the dialog. Returns true when consumed.
bool FilterKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.hwnd != GDialog && !IsChild(GDialog, msg.hwnd)))
    return false;
  if (msg.wParam == VK_RETURN && GButton && GetFocus() == GButton) {
    OpenLinkAndClose();
    return true;
  }
  return false;
}

HFONT CreateInformFont(int height, int charset, const std::string& face) {
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, (BYTE)charset,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS,
                     face.c_str());
}

// Whatever one dialog made, released on every path; declared after the fonts
// and the library, so the window is gone before they are.
struct TDialogResources {
  HINSTANCE Instance;
  bool ClassRegistered;
  ~TDialogResources() {
    if (GDialog && IsWindow(GDialog)) DestroyWindow(GDialog);
    if (ClassRegistered) UnregisterClassA(InformClassName, Instance);
    GDialog = GPage = GButton = nullptr;
    GLink.clear();
    GOpen = false;
  }
};

// A quit message that ended a dialog's loop, handed on after the dialog.
bool GQuitPending = false;
int GQuitCode = 0;

// Runs one dialog; false when its window could not be created.
bool RunDialog(HWND owner, const std::string& title, const std::string& buttonCaption, int charset,
               int fontSize, const std::string& fontName, bool rightToLeft, int height, int width,
               const std::string& link, const std::string& page) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  // The library and both fonts go with the dialog; fonts kept until exit
  // added two GDI objects for every page shown.
  TLibrary richEdit(LoadSystemLibrary("RICHED32.DLL"));
  TGdiObject buttonFont(CreateInformFont(-PointsToPixels(fontSize), charset, fontName));
  bool ownFace = !fontName.empty() && fontName != "Tahoma";
  TGdiObject pageFont(CreateInformFont(KPageFontHeight, charset, ownFace ? fontName : "Verdana"));

  GOpen = true;
  GLink = link;
  GClosed = false;
  GLinkOpened = false;
  TDialogResources res{instance, RegisterModalClass(InformClassName, InformProc, instance)};

  int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  width = std::min(std::max(width, KMinWidth), std::max(screenWidth, KMinWidth));
  height = std::min(std::max(height, KMinHeight), std::max(screenHeight, KMinHeight));
  GDialog = CreateWindowExA(WS_EX_DLGMODALFRAME, InformClassName, title.c_str(),
                            WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME,
                            (screenWidth - width) / 2, (screenHeight - height) / 2, width, height,
                            IsWindow(owner) ? owner : nullptr, nullptr, instance, nullptr);
  if (!GDialog) return false;

  DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_WANTRETURN | ES_READONLY | ES_MULTILINE |
                (rightToLeft ? ES_RIGHT : 0);
  GPage = CreateWindowExA(rightToLeft ? WS_EX_RTLREADING : 0, "RICHEDIT", "", style, KPageLeft, 0,
                          0, 0, GDialog, nullptr, instance, nullptr);
  if (GPage) {
    SendMessageA(GPage, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(GPage, WM_SETFONT, (WPARAM)pageFont.Get(), 0);
    SendMessageA(GPage, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
    // The control keeps only 32,767 characters unless told otherwise; a
    // longer page lost its end.
    SendMessageA(GPage, EM_EXLIMITTEXT, 0, std::max<LPARAM>(page.size(), 32767));
    SendMessageA(GPage, WM_SETTEXT, 0, (LPARAM)page.c_str());
  }
  if (!link.empty()) {
    GButton = CreateWindowExA(0, "Button", buttonCaption.c_str(), WS_CHILD | WS_VISIBLE, 0, 0,
                              KButtonWidth, KButtonHeight, GDialog, nullptr, instance, nullptr);
    SendMessageA(GButton, WM_SETFONT, (WPARAM)buttonFont.Get(), 0);
    SetWindowLongPtrA(GButton, GWLP_USERDATA, 1);
  }
  PlaceControls(GDialog);
  SetActiveWindow(GDialog);
  if (GButton) {
    SetFocus(GButton);
    SendMessageA(GButton, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  } else if (GPage) {
    SetFocus(GPage);
  }

  // A quit message belongs to the loop that waits for it: a dialog loop that
  // swallowed it and waited on kept the agent from ever ending.
  GQuitPending = RunModalLoop(GClosed, FilterKey, GQuitCode);
  return true;
}

}  // namespace

bool ShowInform(HWND owner, const std::string& title, const std::string& buttonCaption, int charset,
                int fontSize, const std::string& fontName, bool rightToLeft, int height, int width,
                const std::string& link, const std::string& page) {
  std::string target = Trim(link);
  // An empty page opens the link directly; the caller records the news as
  // shown on true, so a link the shell could not open must read false.
  if (page.empty()) return !target.empty() && ShellOpen(target, "", SW_SHOWNORMAL);
  if (GOpen) return false;
  bool shown = RunDialog(owner, title, buttonCaption, charset, fontSize, fontName, rightToLeft,
                         height, width, target, page);
  if (GQuitPending) {
    GQuitPending = false;
    PostQuitMessage(GQuitCode);
  }
  return shown;
}
