// Runs the stub's main window the way a setup does, for the main-window tests
// (which append payloads to copies of this program): the status line in the
// payload's language, the window and activity bar shown.
//
//   ui_mainwin_app.exe <window class>
#include <windows.h>

#include "payload/UnPack.h"
#include "startup/StubWin.h"
#include "text/LangRes0.h"
#include "text/Switches.h"

namespace {

void SetupTick() {
  StopMainTimer();
  TGFileInfo info(ProgramPath());
  SetStatusText(GetLangText(info, "s1"), info.GetLangFontName(), info.GetLangFontSize(),
                info.GetLangCharset());
  ShowWindow(ActivityBar, SW_SHOW);
  ShowWindow(MainWindow, SW_SHOW);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  OnSetupTick = SetupTick;
  return RunStubWinMain(GetModuleHandleA(nullptr), argv[1], false);
}
