#include "ui/KMsgBox.h"

#include <algorithm>

#include "text/Common.h"
#include "text/KSUB.h"
#include "text/LangRes0.h"

#ifdef _WIN32
#include <richedit.h>

#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "support/Win64.h"
#endif

std::string CaptionLine(const std::string& caption) {
  return std::string(KDefaultCaptions).find(caption) != std::string::npos ? UpperCase(caption)
                                                                          : caption;
}

std::string ExtractBoldSpans(const std::string& text, std::vector<TBoldSpan>& spans) {
  std::string s = text;
  spans.clear();
  for (;;) {
    size_t open = PosNoCase("<B>", s);
    if (open == 0) break;
    size_t p = open - 1;
    s.erase(p, 3);
    size_t close = PosNoCase("</B>", s);
    if (close != 0 && close - 1 >= p) {
      size_t q = close - 1;
      s.erase(q, 4);
      spans.push_back({int(p), int(q)});
    }
  }
  for (size_t close; (close = PosNoCase("</B>", s)) != 0;) s.erase(close - 1, 4);
  return s;
}

int MsgBoxButtons(unsigned flags, int items[3], int results[3]) {
  // Caption item and result code (IDOK 1, IDCANCEL 2, IDABORT 3, IDRETRY 4,
  // IDIGNORE 5, IDYES 6, IDNO 7) of buttons A, B, C per button set.
  static const int Sets[6][3][2] = {
      {{0, 1}, {-1, 0}, {-1, 0}},  // OK
      {{0, 1}, {1, 2}, {-1, 0}},   // OK, Cancel
      {{4, 3}, {5, 4}, {6, 5}},    // Abort, Retry, Ignore
      {{2, 6}, {3, 7}, {1, 2}},    // Yes, No, Cancel
      {{2, 6}, {3, 7}, {-1, 0}},   // Yes, No
      {{5, 4}, {1, 2}, {-1, 0}},   // Retry, Cancel
  };
  unsigned set = flags & 0x0F;
  int n = 0;
  if (set < 6) {
    for (int i = 0; i < 3 && Sets[set][i][0] >= 0; ++i, ++n) {
      items[i] = Sets[set][i][0];
      results[i] = Sets[set][i][1];
    }
  }
  return n;
}

#ifdef _WIN32

namespace {

// ---------------------------------------------------------------- module state

std::string GFontFace = "Tahoma";
int GFontCharset = DEFAULT_CHARSET;
int GFontSize = 8;
int GIconFlag = 0;
int GRequestedWidth = 0;
int GRequestedHeight = 0;
int GResult = 0;
HWND GButtons[3] = {nullptr, nullptr, nullptr};
int GButtonCount = 0;
HWND GPrevious = nullptr;
TGdiObject GFont;  // the font of the open box
HWND GBox = nullptr;
HWND GText = nullptr;
bool GClosed = false;
// A quit message that arrived while a box was open, handed on after it.
bool GQuitPending = false;
int GQuitCode = 0;

// RICHED32.DLL: loaded on first use, freed at exit.
TLibrary GRichEdit;

bool LoadRichEdit() {
  if (!GRichEdit) GRichEdit.Reset(LoadSystemLibrary("RICHED32.DLL"));
  return GRichEdit.Valid();
}

// ---------------------------------------------------------------- text

HFONT CreateBoxFont() {
  return CreateFontA(-PointsToPixels(GFontSize), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                     (BYTE)GFontCharset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     FF_SWISS, GFontFace.c_str());
}

// Pixel width of one line as the control lays it out: tabs go to the next
// stop of the control's default half-inch grid.
int LineWidth(HDC dc, const std::string& line) {
  if (line.empty()) return 0;
  int tabStop = MulDiv(720, GetDeviceCaps(dc, LOGPIXELSX), 1440);
  DWORD ext = GetTabbedTextExtentA(dc, line.data(), (int)line.size(), 1, &tabStop);
  return LOWORD(ext);
}

SIZE MeasureWithFont(HFONT font, const std::string& text) {
  SIZE result = {0, 0};
  std::string s = text.empty() ? std::string(" ") : text;
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  TEXTMETRICA tm = {};
  GetTextMetricsA(dc, &tm);
  int lineHeight = tm.tmHeight + tm.tmExternalLeading;
  if (SameText(Trim(GFontFace), "MS PGothic")) lineHeight += 1;

  size_t start = 0;
  for (;;) {
    size_t end = s.find("\r\n", start);
    std::string line = s.substr(start, end == std::string::npos ? std::string::npos : end - start);
    // An empty last piece after a final line break is no line.
    if (end == std::string::npos && line.empty() && start > 0) break;
    int w = LineWidth(dc, line);
    if (w + 10 > result.cx) result.cx = w + 10;
    result.cy += (w / 600 + 1) * lineHeight;
    if (end == std::string::npos) break;
    start = end + 2;
  }
  if (result.cx > 600) result.cx = 600;
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return result;
}

void SetControlSize(int width, int height) {
  SetWindowPos(GText, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetBoxText(const std::string& markup) {
  std::string text = MarkupToPlain(markup);
  if (text.compare(0, 4, "<<b>") == 0) text.erase(0, 1);
  std::vector<TBoldSpan> spans;
  text = ExtractBoldSpans(text, spans);

  SendMessageA(GText, WM_SETTEXT, 0, (LPARAM)text.c_str());
  for (const TBoldSpan& span : spans) {
    CHARRANGE range = {span.Start, span.End};
    SendMessageA(GText, EM_EXSETSEL, 0, (LPARAM)&range);
    CHARFORMATA cf = {};
    cf.cbSize = 60;
    cf.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    cf.dwEffects = CFE_BOLD;
    SendMessageA(GText, EM_SETCHARFORMAT, SCF_SELECTION, (LPARAM)&cf);
  }
  CHARRANGE none = {0, 0};
  SendMessageA(GText, EM_EXSETSEL, 0, (LPARAM)&none);

  SIZE size = MeasureWithFont((HFONT)GFont.Get(), text);
  SetControlSize(size.cx + 10, size.cy);

  if (!spans.empty()) {
    // Bold text is wider than measured: widen until the control no longer
    // asks for more height than measured.
    int widest = size.cx;
    bool fits = false;
    for (int i = 0; i <= 20 && !fits; ++i) {
      SetControlSize(size.cx + i * 10, size.cy);
      SendMessageA(GText, EM_REQUESTRESIZE, 0, 0);
      if (GRequestedWidth > widest) widest = GRequestedWidth;
      fits = size.cy >= GRequestedHeight;
    }
    if (!fits) SetControlSize(widest + 10, size.cy);
  }
}

// ---------------------------------------------------------------- layout

SIZE WindowSize(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

void SizeAndCentreBox() {
  SIZE c = WindowSize(GText);
  int margin = c.cx < 200 ? 64 : 32;
  int width = c.cx + 2 * GetSystemMetrics(SM_CXFRAME) + 2 * margin + 54;
  if (width < 360) width = 360;
  int height = c.cy + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) + 36 +
               (c.cy < 39 ? 90 : 64);
  int left = 0, top = 0;
  CenterInWorkArea(width, height, left, top);
  SetWindowPos(GBox, nullptr, left, top, width, height, SWP_NOZORDER);
}

void PlaceTextControl() {
  RECT client;
  GetClientRect(GBox, &client);
  SIZE c = WindowSize(GText);
  int left = 54 + (client.right - c.cx - 54) / 2;
  int top = (client.bottom - c.cy - 36) / 2;
  MoveWindow(GText, left, top, c.cx, client.bottom - top - 39, TRUE);
}

HICON BoxIcon() {
  LPCSTR id = nullptr;
  switch (GIconFlag) {
    case MB_ICONHAND:
      id = (LPCSTR)IDI_HAND;
      break;
    case MB_ICONQUESTION:
      id = (LPCSTR)IDI_QUESTION;
      break;
    case MB_ICONEXCLAMATION:
      id = (LPCSTR)IDI_EXCLAMATION;
      break;
    case MB_ICONASTERISK:
      id = (LPCSTR)IDI_ASTERISK;
      break;
  }
  if (id) return LoadIconA(nullptr, id);
  HICON own = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  return own ? own : LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION);
}

// ---------------------------------------------------------------- buttons

int ButtonIndex(HWND window) {
  for (int i = 0; i < GButtonCount; ++i)
    if (GButtons[i] == window) return i;
  return -1;
}

void FocusButton(int k) {
  if (GButtonCount == 0) return;
  k = ((k % GButtonCount) + GButtonCount) % GButtonCount;
  SetFocus(GButtons[k]);
  for (int i = 0; i < GButtonCount; ++i)
    SendMessageA(GButtons[i], BM_SETSTYLE, i == k ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void CreateButtons(unsigned flags, const std::string& buttonTexts) {
  int items[3], results[3];
  GButtonCount = MsgBoxButtons(flags, items, results);
  RECT client;
  GetClientRect(GBox, &client);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  for (int i = 0; i < GButtonCount; ++i) {
    int left = client.right - 80 - 70 * (GButtonCount - 1 - i);
    std::string caption = SUB::Item(buttonTexts, items[i]);
    GButtons[i] = CreateWindowExA(0, "BUTTON", caption.c_str(), WS_CHILD | WS_VISIBLE, left,
                                  client.bottom - 29, 70, 23, GBox, nullptr, instance, nullptr);
    SendMessageA(GButtons[i], WM_SETFONT, (WPARAM)GFont.Get(), 0);
    SetWindowLongPtrA(GButtons[i], GWLP_USERDATA, results[i]);
  }
  FocusButton((int)((flags & MB_DEFMASK) >> 8));
}

// ---------------------------------------------------------------- keyboard

// The button an Alt+character chooses: caption longer than one character
// whose second character is the typed one (as typed or upper-cased); the
// leftmost wins.
HWND AltTarget(char typed) {
  for (int i = 0; i < GButtonCount; ++i) {
    std::string caption = WindowTitle(GButtons[i]);
    if (caption.size() > 1 && (caption[1] == typed || caption[1] == UpCase(typed)))
      return GButtons[i];
  }
  return nullptr;
}

// The button a letter key chooses: the letter after the caption's first "&"
// (or its first character without "&"), any case; the rightmost wins.
HWND LetterTarget(char letter) {
  HWND target = nullptr;
  for (int i = 0; i < GButtonCount; ++i) {
    std::string caption = WindowTitle(GButtons[i]);
    size_t amp = caption.find('&');
    char c = 0;
    if (amp == std::string::npos) {
      if (!caption.empty()) c = caption[0];
    } else if (amp + 1 < caption.size()) {
      c = caption[amp + 1];
    }
    if (c && UpCase(c) == UpCase(letter)) target = GButtons[i];
  }
  return target;
}

// Returns true when the message was consumed.
bool FilterKey(const MSG& msg) {
  HWND target = nullptr;
  if (msg.message == WM_SYSCHAR) {
    target = AltTarget((char)msg.wParam);
  } else if (msg.message == WM_KEYDOWN) {
    int focused = ButtonIndex(GetFocus());
    switch (msg.wParam) {
      case VK_LEFT:
      case VK_UP:
        FocusButton(focused < 0 ? GButtonCount - 1 : focused - 1);
        return false;
      case VK_TAB:
      case VK_RIGHT:
      case VK_DOWN:
        FocusButton(focused + 1);
        return false;
      case VK_RETURN:
        if (focused >= 0) target = GButtons[focused];
        break;
      case VK_ESCAPE:
        PostMessageA(GBox, WM_CLOSE, 0, 0);
        return false;
      default:
        if (msg.wParam >= 'A' && msg.wParam <= 'Z') target = LetterTarget((char)msg.wParam);
    }
  }
  if (!target) return false;
  GResult = (int)GetWindowLongPtrA(target, GWLP_USERDATA);
  PostMessageA(GBox, WM_CLOSE, 0, 0);
  return true;
}

// ---------------------------------------------------------------- window

void PaintBox(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT rc;
  GetClientRect(window, &rc);
  FillRect(dc, &rc, GetSysColorBrush(COLOR_WINDOW));

  {
    const TGdiObject dark(CreatePen(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW)));
    const TGdiObject white(CreatePen(PS_SOLID, 1, RGB(255, 255, 255)));
    HGDIOBJ oldPen = SelectObject(dc, dark.Get());
    MoveToEx(dc, 0, rc.bottom - 37, nullptr);
    LineTo(dc, rc.right, rc.bottom - 37);
    SelectObject(dc, white.Get());
    MoveToEx(dc, 0, rc.bottom - 36, nullptr);
    LineTo(dc, rc.right, rc.bottom - 36);
    SelectObject(dc, oldPen);
  }

  RECT strip = {0, rc.bottom - 35, rc.right, rc.bottom};
  FillRect(dc, &strip, GetSysColorBrush(COLOR_BTNFACE));
  RECT band = {0, 0, 54, rc.bottom - 37};
  const TGdiObject blue(CreateSolidBrush(RGB(0, 78, 152)));
  FillRect(dc, &band, (HBRUSH)blue.Get());
  DrawIcon(dc, 11, 20, BoxIcon());
  EndPaint(window, &ps);
}

LRESULT CALLBACK BoxProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  unsigned autoPlay = GetAutoPlayMessageId();
  if (autoPlay != 0 && msg == autoPlay) return 1;
  switch (msg) {
    case WM_PAINT:
      PaintBox(window);
      return 0;
    case WM_NOTIFY: {
      const NMHDR* hdr = (const NMHDR*)lParam;
      if (hdr && hdr->code == EN_REQUESTRESIZE) {
        const REQRESIZE* rr = (const REQRESIZE*)lParam;
        GRequestedWidth = rr->rc.right - rr->rc.left;
        GRequestedHeight = rr->rc.bottom - rr->rc.top;
      }
      break;
    }
    case WM_COMMAND:
      if (lParam && ButtonIndex((HWND)lParam) >= 0) {
        GResult = (int)GetWindowLongPtrA((HWND)lParam, GWLP_USERDATA);
        PostMessageA(window, WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_CLOSE:
      if (GPrevious) {
        EnableWindow(GPrevious, TRUE);
        SetActiveWindow(GPrevious);
        SetFocus(GPrevious);
      }
      break;
    case WM_DESTROY:
      GClosed = true;
      return 1;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

// Releases what one box created, on every path.
struct TBoxResources {
  HINSTANCE Instance;
  bool ClassRegistered = false;
  ~TBoxResources() {
    if (GBox && IsWindow(GBox)) DestroyWindow(GBox);
    if (GPrevious && !IsWindowEnabled(GPrevious)) EnableWindow(GPrevious, TRUE);
    if (ClassRegistered) UnregisterClassA(KMsgBoxClassName, Instance);
    GFont.Reset();
    GBox = GText = nullptr;
    GButtons[0] = GButtons[1] = GButtons[2] = nullptr;
    GButtonCount = 0;
    GPrevious = nullptr;
  }
};

int ShowBox(HWND owner, const std::string& text, const std::string& caption, unsigned flags,
            const std::string& buttonTexts) {
  LoadRichEdit();
  TBoxResources res;
  res.Instance = GetModuleHandleA(nullptr);

  GPrevious = GetActiveWindow();
  if (GPrevious) EnableWindow(GPrevious, FALSE);

  GResult = 0;
  GClosed = false;
  GRequestedWidth = GRequestedHeight = 0;
  GIconFlag = (int)(flags & MB_ICONMASK);
  GFont.Reset(CreateBoxFont());

  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = BoxProc;
  wc.hInstance = res.Instance;
  wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  wc.lpszClassName = KMsgBoxClassName;
  res.ClassRegistered = RegisterClassA(&wc) != 0;

  GBox = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, KMsgBoxClassName, caption.c_str(),
                         WS_VISIBLE | WS_CAPTION | WS_SYSMENU, -100, -100, 10, 10, owner, nullptr,
                         res.Instance, nullptr);
  if (!GBox) return 0;
  if (flags & MB_NOCLOSE) {
    EnableMenuItem(GetSystemMenu(GBox, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    flags &= ~MB_NOCLOSE;
  }

  DWORD style = WS_CHILD | WS_VISIBLE | ES_WANTRETURN | ES_READONLY | ES_MULTILINE |
                ((flags & MB_RIGHT) ? ES_RIGHT : 0);
  DWORD exStyle = (flags & MB_RTLREADING) ? WS_EX_RTLREADING : 0;
  GText = CreateWindowExA(exStyle, "RICHEDIT", "", style, 86, 30, 100, 13, GBox, nullptr,
                          res.Instance, nullptr);
  if (GText) {
    SendMessageA(GText, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(GText, WM_SETFONT, (WPARAM)GFont.Get(), 0);
    SendMessageA(GText, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
    SetBoxText(text);
  }

  if (GText) {
    SizeAndCentreBox();
  } else {
    // No rich-edit library: size the box for the text all the same.
    SIZE size = MeasureWithFont((HFONT)GFont.Get(), MarkupToPlain(text));
    int width = std::max(360, (int)size.cx + 10 + 2 * GetSystemMetrics(SM_CXFRAME) + 2 * 64 + 54);
    int height =
        (int)size.cy + 2 * GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) + 36 + 90;
    int left = 0, top = 0;
    CenterInWorkArea(width, height, left, top);
    SetWindowPos(GBox, nullptr, left, top, width, height, SWP_NOZORDER);
  }
  ShowWindow(GBox, SW_SHOW);
  if (GText) {
    PlaceTextControl();
    ShowWindow(GText, SW_SHOW);
  }
  CreateButtons(flags, buttonTexts);

  MSG msg;
  while (!GClosed) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The program is ending: close the box and hand the quit message on
      // to the loop that waits for it.
      DestroyWindow(GBox);
      GQuitPending = true;
      GQuitCode = (int)msg.wParam;
      break;
    }
    if (got < 0) break;
    if (!FilterKey(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return GResult;
}

}  // namespace

void SetMsgBoxFont(const std::string& faceName, int size, int charset) {
  GFontFace = faceName;  // "": the system's font for the character set
  if (size != 0) GFontSize = size;
  GFontCharset = charset;
}

SIZE MeasureMsgBoxText(const std::string& text) {
  const TGdiObject font(CreateBoxFont());
  return MeasureWithFont((HFONT)font.Get(), text);
}

int MsgBox(intptr_t ownerCode, const std::string& text, const std::string& caption, unsigned flags,
           int charset, const std::string& buttonTexts) {
  if (charset == HEBREW_CHARSET || charset == ARABIC_CHARSET) flags |= MB_RIGHT | MB_RTLREADING;
  std::string body = text;
  if (ownerCode == 0) body = "<<b>" + CaptionLine(caption) + "</b><P><P>" + text + "<P>";
  if (ownerCode == 2) flags |= MB_NOCLOSE;
  HWND owner = ownerCode >= 3 ? (HWND)ownerCode : GetActiveWindow();
  std::string buttons = buttonTexts.empty() ? std::string(KDefaultBtnText) : buttonTexts;
  int result = ShowBox(owner, body, caption, flags, buttons);
  if (GQuitPending) {
    GQuitPending = false;
    PostQuitMessage(GQuitCode);
    return result;
  }
  WaitPumping(0, 100);
  return result;
}

namespace {
std::string CaptionOr(const std::string& caption, int item) {
  return caption.empty() ? SUB::Item(KDefaultCaptions, item) : caption;
}
}  // namespace

void ShowError(intptr_t ownerCode, const std::string& text, const std::string& caption, int charset,
               const std::string& buttonTexts) {
  MsgBox(ownerCode, text, CaptionOr(caption, 0), MB_ICONHAND | MB_OK, charset, buttonTexts);
}

void ShowAttention(intptr_t ownerCode, const std::string& text, const std::string& caption,
                   int charset, const std::string& buttonTexts) {
  MsgBox(ownerCode, text, CaptionOr(caption, 1), MB_ICONEXCLAMATION | MB_OK, charset, buttonTexts);
}

bool AskYesNo(intptr_t ownerCode, const std::string& text, const std::string& caption, int charset,
              const std::string& buttonTexts) {
  return MsgBox(ownerCode, text, CaptionOr(caption, 2), MB_ICONQUESTION | MB_YESNO, charset,
                buttonTexts) == IDYES;
}

bool AskOkCancel(intptr_t ownerCode, const std::string& text, const std::string& caption,
                 int charset, const std::string& buttonTexts) {
  return MsgBox(ownerCode, text, CaptionOr(caption, 2), MB_ICONQUESTION | MB_OKCANCEL, charset,
                buttonTexts) == IDOK;
}

#endif  // _WIN32
