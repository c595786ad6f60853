// Key sender of the window tests: waits until a window of the class (default
// "KMsgBox") is visible with its buttons, then posts it keys the way the
// keyboard delivers them to its thread. Exit code 0 when sent, 1 when no
// window appeared in time.
//
//   ui_keysend.exe [class:<name>] <timeout-ms> <key>...
//     alt:<c>   Alt with the character c (WM_SYSCHAR)
//     vk:<n>    key down of virtual key n, decimal (WM_KEYDOWN)
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

HWND WaitForBox(const char* cls, int timeoutMs) {
  for (DWORD start = GetTickCount(); int(GetTickCount() - start) < timeoutMs; Sleep(20)) {
    HWND box = FindWindowA(cls, nullptr);
    if (box && IsWindowVisible(box) && FindWindowExA(box, nullptr, "Button", nullptr)) return box;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const char* cls = "KMsgBox";
  if (argc > 1 && std::strncmp(argv[1], "class:", 6) == 0) {
    cls = argv[1] + 6;
    ++argv;
    --argc;
  }
  if (argc < 2) return 2;
  HWND box = WaitForBox(cls, std::atoi(argv[1]));
  if (!box) return 1;
  // Posted keys wait in the box thread's queue until its modal loop runs,
  // which starts only after every button exists and has its focus.
  for (int i = 2; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strncmp(a, "alt:", 4) == 0)
      PostMessageA(box, WM_SYSCHAR, (unsigned char)a[4], 0x20000001);
    else if (std::strncmp(a, "vk:", 3) == 0)
      PostMessageA(box, WM_KEYDOWN, std::atoi(a + 3), 1);
  }
  return 0;
}
