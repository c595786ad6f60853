// kdebugview: a debug viewer for the Korvix stub. It owns a top-level window
// of class ".KDebug." and, for every registered message ".K_DebugMsg.", reads
// the text of the global atom named in the message (while handling it: the
// sender deletes the atom when the send returns) and appends it, unchanged, to
// a file or to its standard output.
//
//   kdebugview [--out FILE] [--ready FILE] [--exit-after-ms N]
//   kdebugview --stop [--wait-ms N]
//   kdebugview --help
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kClass = ".KDebug.";
const char* const kMessage = ".K_DebugMsg.";
const UINT_PTR kExitTimer = 1;

UINT g_debugMessage = 0;
HANDLE g_out = INVALID_HANDLE_VALUE;

void Usage() {
  std::printf(
      "kdebugview - collects the diagnostic lines of Korvix programs\n"
      "\n"
      "usage: kdebugview [--out FILE] [--ready FILE] [--exit-after-ms N]\n"
      "       kdebugview --stop [--wait-ms N]\n"
      "\n"
      "  --out FILE         append every received text to FILE (default: standard output)\n"
      "  --ready FILE       create FILE once the viewer window exists\n"
      "  --exit-after-ms N  end by itself after N milliseconds\n"
      "  --stop             close the running viewer (WM_CLOSE) and wait until it is gone\n"
      "  --wait-ms N        how long --stop waits (default 10000); exit code 1 when it\n"
      "                     is still there\n"
      "\n"
      "The viewer also ends on WM_CLOSE. Texts are written as received (LF line ends).\n");
}

void Append(const char* data, DWORD n) {
  DWORD done = 0;
  if (g_out != INVALID_HANDLE_VALUE && n) {
    WriteFile(g_out, data, n, &done, nullptr);
    FlushFileBuffers(g_out);
  }
}

LRESULT CALLBACK ViewerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (g_debugMessage && msg == g_debugMessage) {
    char text[256];
    UINT n = GlobalGetAtomNameA(static_cast<ATOM>(lp & 0xFFFF), text, sizeof text);
    Append(text, n);
    return 0;
  }
  switch (msg) {
    case WM_TIMER:
      if (wp == kExitTimer) DestroyWindow(w);
      return 0;
    case WM_CLOSE:
      DestroyWindow(w);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(w, msg, wp, lp);
}

int Stop(DWORD waitMs) {
  DWORD start = GetTickCount();
  HWND w = FindWindowA(kClass, nullptr);
  if (w) PostMessageA(w, WM_CLOSE, 0, 0);
  while ((w = FindWindowA(kClass, nullptr)) != nullptr) {
    if (GetTickCount() - start > waitMs) return 1;
    Sleep(50);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, ready;
  DWORD exitAfter = 0, waitMs = 10000;
  bool stop = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == "--help" || a == "-h" || a == "/?") {
      Usage();
      return 0;
    } else if (a == "--out" && hasValue) {
      out = argv[++i];
    } else if (a == "--ready" && hasValue) {
      ready = argv[++i];
    } else if (a == "--exit-after-ms" && hasValue) {
      exitAfter = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--wait-ms" && hasValue) {
      waitMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
    } else if (a == "--stop") {
      stop = true;
    } else if (out.empty() && a[0] != '-') {
      out = a;
    } else {
      std::fprintf(stderr, "kdebugview: unknown argument %s (try --help)\n", a.c_str());
      return 2;
    }
  }
  if (stop) return Stop(waitMs);

  if (FindWindowA(kClass, nullptr)) {
    std::fprintf(stderr, "kdebugview: a viewer is already running\n");
    return 3;
  }
  if (out.empty()) {
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
  } else {
    g_out = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (g_out == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "kdebugview: cannot open %s\n", out.c_str());
      return 2;
    }
    SetFilePointer(g_out, 0, nullptr, FILE_END);
  }

  g_debugMessage = RegisterWindowMessageA(kMessage);
  WNDCLASSA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = ViewerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = kClass;
  if (!RegisterClassA(&wc)) return 2;
  HWND w = CreateWindowExA(0, kClass, "Korvix debug viewer", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                           nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return 2;
  if (exitAfter) SetTimer(w, kExitTimer, exitAfter, nullptr);
  if (!ready.empty()) {
    HANDLE r = CreateFileA(ready.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (r != INVALID_HANDLE_VALUE) CloseHandle(r);
  }

  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  if (!out.empty()) CloseHandle(g_out);
  return 0;
}
