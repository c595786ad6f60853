#include "ui/ModalLoop.h"

bool RunModalLoop(const bool& closed, bool (*filter)(const MSG&), int& quitCode) {
  MSG msg;
  while (!closed) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      quitCode = (int)msg.wParam;
      return true;
    }
    if (got < 0) break;
    if (!filter(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  return false;
}

bool RegisterModalClass(const char* name, WNDPROC proc, HINSTANCE instance) {
  WNDCLASSA wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, (LPCSTR)IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  return RegisterClassA(&wc) != 0;
}
