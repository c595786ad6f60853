// The key sender of the end-to-end tests: for `count` boxes in a row, waits
// for the stub's message box, prints its title and text, waits the delay (the
// caller looks at the files meanwhile) and presses the button by caption.
//   boxclick.exe <timeout-seconds> <caption, e.g. &Yes> [count] [delay-ms]
// With --temp it runs the program with TEMP and TMP set to the folder; a copy
// started from there (what a setup must never start) only notes its start.
//   boxclick.exe --temp <folder> <mark> <program> [args]
#include <windows.h>

#include "support/Handles.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string TextOf(HWND w) {
  std::string s(SendMessageA(w, WM_GETTEXTLENGTH, 0, 0) + 1, '\0');
  s.resize(SendMessageA(w, WM_GETTEXT, s.size(), (LPARAM)&s[0]));
  return s;
}

// Finds the button with the caption and the text control of a box.
struct TSearch {
  const char* Caption;
  HWND Button, Text;
};

BOOL CALLBACK EachChild(HWND w, LPARAM lp) {
  auto* s = (TSearch*)lp;
  char cls[64] = {};
  GetClassNameA(w, cls, sizeof cls);
  if (lstrcmpiA(cls, "Button") == 0 && lstrcmpiA(TextOf(w).c_str(), s->Caption) == 0) s->Button = w;
  if (lstrcmpiA(cls, "RichEdit") == 0 || lstrcmpiA(cls, "RichEdit20A") == 0) s->Text = w;
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  char mark[MAX_PATH];
  if (GetEnvironmentVariableA("KORVIX_E2E_MARK", mark, sizeof mark)) {
    if (FILE* f = std::fopen(mark, "a")) std::fprintf(f, "%s\n", GetCommandLineA()), std::fclose(f);
    return 0;
  }
  if (argc > 4 && std::string(argv[1]) == "--temp") {
    SetEnvironmentVariableA("TEMP", argv[2]);
    SetEnvironmentVariableA("TMP", argv[2]);
    SetEnvironmentVariableA("KORVIX_E2E_MARK", argv[3]);
    std::string cmd = std::string("\"") + argv[4] + "\"";
    for (int i = 5; i < argc; ++i) cmd += std::string(" ") + argv[i];
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(argv[4], &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      return 1;
    TProcess child(pi);
    WaitForSingleObject(child.Process.Get(), INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(child.Process.Get(), &code);
    return static_cast<int>(code);
  }
  if (argc < 3) return 3;
  int timeoutMs = std::atoi(argv[1]) * 1000;
  int count = argc > 3 ? std::atoi(argv[3]) : 1;
  int delayMs = argc > 4 ? std::atoi(argv[4]) : 300;
  for (int i = 0; i < count; ++i) {
    HWND box = nullptr;
    for (int t = 0; t < timeoutMs && !(box = FindWindowA("KMsgBox", nullptr)); t += 50) Sleep(50);
    if (!box) return std::puts("no box"), 1;
    Sleep(300);  // let the box finish its layout and focus
    TSearch s = {argv[2], nullptr, nullptr};
    EnumChildWindows(box, EachChild, (LPARAM)&s);
    std::string text = s.Text ? TextOf(s.Text) : "";
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ' ';
    std::printf("title=%s\ntext=%s\n", TextOf(box).c_str(), text.c_str());
    std::fflush(stdout);
    if (delayMs > 300) Sleep(delayMs - 300);
    if (!s.Button) return std::printf("no button %s\n", argv[2]), 2;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(s.Button), BN_CLICKED), (LPARAM)s.Button);
    for (int t = 0; t < 10000 && IsWindow(box); t += 50) Sleep(50);  // this box goes first
  }
  return 0;
}
