#include "startup/StubWin.h"

#include <commctrl.h>

#include "http/InetHTTP.h"
#include "payload/UnPack.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "support/KDebug.h"
#include "support/Win64.h"
#include "text/Common.h"
#include "text/LangRes0.h"
#include "ui/KMsgBox.h"

HWND MainWindow = nullptr;
HWND StatusLine = nullptr;
HWND FilesBar = nullptr;
HWND ActivityBar = nullptr;
int ActivityPos = 0;
bool QuitFlag = false;

void (*OnSetupTick)() = nullptr;
void (*OnAgentTick)() = nullptr;
void (*OnSleepX)(int value) = nullptr;
void (*OnAgentShutDown)(WPARAM ticks) = nullptr;
void (*OnAgentRegister)(HWND controller, UINT message) = nullptr;
LRESULT (*OnAgentSetting)(WPARAM code, LPARAM value) = nullptr;
void (*OnRemoveTempDir)() = nullptr;
void (*OnMainLoopEnd)() = nullptr;

namespace {

const UINT_PTR KMainTimerId = 1;
bool GAgentRole = false;

// The status line's font, replaced as a whole.
TGdiObject GStatusFont;

bool IsRightToLeft(int charset) {
  return charset == HEBREW_CHARSET || charset == ARABIC_CHARSET;
}

const DWORD KStatusStyle = WS_CHILD | WS_VISIBLE;
const DWORD KStatusStyleRtl = WS_CHILD | WS_VISIBLE | SS_RIGHT;

// The progress-bar class. comctl32 is no library Windows always takes from
// the system folder, so it is bound at run time from there: a copy planted
// beside the setup (a Downloads folder) never loads. It stays loaded for the
// rest of the run, as its window classes must.
void RegisterProgressClass() {
  using TInitCommonControlsEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  HMODULE library = nullptr;
  auto init = reinterpret_cast<TInitCommonControlsEx>(
      reinterpret_cast<void*>(LoadProc("comctl32.dll", "InitCommonControlsEx", library)));
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS};
  if (init) init(&icc);
}

void CreateControls(HWND window) {
  HINSTANCE instance = (HINSTANCE)GetWindowLongPtrA(window, GWLP_HINSTANCE);
  bool rtl = IsRightToLeft(TGFileInfo(ProgramPath()).GetLangCharset());
  StatusLine = CreateWindowExA(0, "Static", "", KStatusStyle, rtl ? 122 : 70, 20, 340, 18, window,
                               nullptr, instance, nullptr);
  FilesBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE, 70, 38, 392, 13, window,
                             nullptr, instance, nullptr);
  // Hidden until the setup flow shows it.
  ActivityBar = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD, rtl ? 70 : 416, 20, 46, 13,
                                window, nullptr, instance, nullptr);
  SetTimer(window, KMainTimerId, 1000, nullptr);
  GStatusFont.Reset(CreateFontA(-11, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma"));
  SendMessageA(StatusLine, WM_SETFONT, (WPARAM)GStatusFont.Get(), 0);
}

void PaintMainWindow(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT rc;
  GetClientRect(window, &rc);
  FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  if (!icon) icon = LoadIconA(nullptr, (LPCSTR)IDI_APPLICATION);
  DrawIcon(dc, 18, 20, icon);
  EndPaint(window, &ps);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  unsigned autoPlay = GetAutoPlayMessageId();
  if (autoPlay != 0 && msg == autoPlay) return 1;

  switch (msg) {
    case WM_CREATE:
      CreateControls(window);
      break;
    case WM_PAINT:
      PaintMainWindow(window);
      break;
    case WM_TIMER:
      if (GAgentRole) {
        if (OnAgentTick) OnAgentTick();
      } else if (OnSetupTick) {
        OnSetupTick();
      }
      break;
    case WM_CLOSE:
      if (!CloseMainWindow()) return 0;
      break;
    case WM_DESTROY:
      DebugLine("- wm_Destroy -");
      DestroyMainWindow();
      break;
    case WM_QUIT:
      DebugLine("- wm_Quit -");
      DestroyMainWindow();
      break;
    case wm_ShutDown:
      if (OnAgentShutDown) OnAgentShutDown(wParam);
      break;
    case wm_LocalMsg:
      if (OnAgentRegister) OnAgentRegister((HWND)wParam, (UINT)lParam);
      break;
    case wm_AgentMsg:
      return OnAgentSetting ? OnAgentSetting(wParam, lParam) : 0;
  }
  return DefWindowProcA(window, msg, wParam, lParam);
}

}  // namespace

bool CloseMainWindow() {
  AgentLog(".. CloseMainWindow() - Start");
  bool wasSet = HTTP_IsAborted();
  if (!wasSet) HTTP_SetAbort(true);
  AgentLog(".. CloseMainWindow() - End");
  return wasSet;
}

void DestroyMainWindow() {
  AgentLog(".. DestroyMainWindow() - Start");
  HTTP_SetAbort(true);
  if (OnRemoveTempDir) OnRemoveTempDir();
  PostQuitMessage(0);
  QuitFlag = true;
  AgentLog(".. DestroyMainWindow() - End");
}

void StopMainTimer() {
  if (MainWindow) KillTimer(MainWindow, KMainTimerId);
}

int RunStubWinMain(HINSTANCE instance, const std::string& windowClass, bool agentRole) {
  GAgentRole = agentRole;
  QuitFlag = false;
  ActivityPos = 0;

  int64_t sleepX = GetSwitchInt("/SleepX=", -1);
  if (sleepX >= 0 && OnSleepX) OnSleepX(-(int)sleepX);

  RegisterProgressClass();

  WNDCLASSA wc = {};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, "MainIcon");
  wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
  wc.lpszClassName = windowClass.c_str();
  RegisterClassA(&wc);

  int left = 0, top = 0;
  CenterInWorkArea(KMainWindowWidth, KMainWindowHeight, left, top);

  {
    TGFileInfo info(ProgramPath());
    std::string title = info.GetLangStr("s0", LangDefault("s0"));
    MainWindow =
        CreateWindowExA(0, windowClass.c_str(), title.c_str(), KMainWindowStyle, left, top,
                        KMainWindowWidth, KMainWindowHeight, nullptr, nullptr, instance, nullptr);
    SetMsgBoxFont(info.GetLangFontName(), info.GetLangFontSize(), info.GetLangCharset());
  }

  if (MainWindow) {
    ShowWindow(MainWindow, SW_HIDE);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
      if (QuitFlag) break;
    }
  }

  StopMainTimer();
  HTTP_SetAbort(true);
  HTTP_UnloadWinINet();
  if (OnMainLoopEnd) OnMainLoopEnd();
  // A window still standing (the setup flow posted the quit message) goes
  // now, so that its class no longer marks this role as running; the quit
  // message its destruction posts is not left for later message loops.
  if (MainWindow && IsWindow(MainWindow)) {
    DestroyWindow(MainWindow);
    MSG quit;
    while (PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
  }
  MainWindow = StatusLine = FilesBar = ActivityBar = nullptr;
  GStatusFont.Reset();
  UnregisterClassA(windowClass.c_str(), instance);
  return 0;
}

void SetStatusText(const std::string& text, const std::string& fontName, int fontSize,
                   int charset) {
  if (!StatusLine) return;
  bool rtl = IsRightToLeft(charset);
  SetWindowLongPtrA(StatusLine, GWL_EXSTYLE, rtl ? WS_EX_RTLREADING : 0);
  SetWindowLongPtrA(StatusLine, GWL_STYLE, rtl ? KStatusStyleRtl : KStatusStyle);
  GStatusFont.Reset(CreateFontA(-PointsToPixels(fontSize), 0, 0, 0, 0, 0, 0, 0, (DWORD)charset, 0,
                                0, 0, 0, fontName.c_str()));
  SendMessageA(StatusLine, WM_SETFONT, (WPARAM)GStatusFont.Get(), 0);
  SetWindowTextA(StatusLine, text.c_str());
}

void ExtractProgress(int mode, int reserved, int64_t count, int64_t position, int step,
                     const std::string& text) {
  if (mode == 0) {
    SendMessageA(FilesBar, PBM_SETRANGE, 0, MAKELPARAM(0, (WORD)(count & 0xFFFF)));
    SendMessageA(FilesBar, PBM_SETPOS, (WPARAM)position, 0);
    SendMessageA(FilesBar, PBM_SETSTEP, (WPARAM)step, 0);
    SendMessageA(ActivityBar, PBM_SETRANGE, 0, MAKELPARAM(0, 5));
    SendMessageA(ActivityBar, PBM_SETPOS, 0, 0);
    SendMessageA(ActivityBar, PBM_SETSTEP, 1, 0);
  } else if (mode == 1) {
    SendMessageA(FilesBar, PBM_STEPIT, 0, 0);
    if (++ActivityPos > 5) ActivityPos = 0;
    SendMessageA(ActivityBar, PBM_SETPOS, (WPARAM)ActivityPos, 0);
  }
}
