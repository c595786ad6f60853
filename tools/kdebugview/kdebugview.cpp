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

#include "support/Handles.h"

namespace {

const char* const KClass = ".KDebug.";
const char* const KMessage = ".K_DebugMsg.";
const UINT_PTR KExitTimer = 1;

UINT GDebugMessage = 0;
// Where the lines go: standard output or GOutFile.
HANDLE GOut = INVALID_HANDLE_VALUE;
THandle GOutFile;

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
  if (GOut != INVALID_HANDLE_VALUE && n) {
    WriteFile(GOut, data, n, &done, nullptr);
    FlushFileBuffers(GOut);
  }
}

LRESULT CALLBACK ViewerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (GDebugMessage && msg == GDebugMessage) {
    char text[256];
    UINT n = GlobalGetAtomNameA(static_cast<ATOM>(lp & 0xFFFF), text, sizeof text);
    Append(text, n);
    return 0;
  }
  switch (msg) {
    case WM_TIMER:
      if (wp == KExitTimer) DestroyWindow(w);
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
  HWND w = FindWindowA(KClass, nullptr);
  if (w) PostMessageA(w, WM_CLOSE, 0, 0);
  while ((w = FindWindowA(KClass, nullptr)) != nullptr) {
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

  if (FindWindowA(KClass, nullptr)) {
    std::fprintf(stderr, "kdebugview: a viewer is already running\n");
    return 3;
  }
  if (out.empty()) {
    GOut = GetStdHandle(STD_OUTPUT_HANDLE);
  } else {
    GOutFile.Reset(CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    GOut = GOutFile.Get();
    if (!GOutFile) {
      std::fprintf(stderr, "kdebugview: cannot open %s\n", out.c_str());
      return 2;
    }
    SetFilePointer(GOut, 0, nullptr, FILE_END);
  }

  GDebugMessage = RegisterWindowMessageA(KMessage);
  WNDCLASSA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = ViewerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = KClass;
  if (!RegisterClassA(&wc)) return 2;
  HWND w = CreateWindowExA(0, KClass, "Korvix debug viewer", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                           nullptr, nullptr, wc.hInstance, nullptr);
  if (!w) return 2;
  if (exitAfter) SetTimer(w, KExitTimer, exitAfter, nullptr);
  if (!ready.empty()) {
    const THandle created(CreateFileA(ready.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  }

  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return 0;
}
