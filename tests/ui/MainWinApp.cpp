// A program that runs the stub's main window the way a setup does, for the
// main-window tests (which append payloads to copies of it). Its setup tick
// fills the window as an extraction would: status line in the payload's
// language, a progress range of 70000 and ten steps, window and activity bar
// shown.
//
//   ui_mainwin_app.exe <window class> [agent] [autoplay]
//     agent     run the timer as the update agent (no setup flow); message
//               1125 answers code + value
//     autoplay  turn AutoPlay suppression on first
#include <windows.h>

#include <cstring>
#include <string>

#include "payload/UnPack.h"
#include "http/InetHTTP.h"
#include "startup/StubWin.h"
#include "support/Files.h"
#include "text/LangRes0.h"

namespace {

std::string OwnPath()
{
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

void SetupTick()
{
  StopMainTimer();
  TGFileInfo info(OwnPath());
  SetStatusText(GetLangText(info, "s1"), info.GetLangFontName(), info.GetLangFontSize(),
                info.GetLangCharset());
  ExtractProgress(0, 0, 70000, 0, 1, "");
  for (int i = 0; i < 10; ++i) ExtractProgress(1, 0, 0, 0, 0, "");
  ShowWindow(ActivityBar, SW_SHOW);
  ShowWindow(MainWindow, SW_SHOW);
}

void AgentTick()
{
  ShowWindow(MainWindow, SW_SHOW);
}

LRESULT AgentSetting(WPARAM code, LPARAM value)
{
  return (LRESULT)(code + value);
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc < 2) return 2;
  bool agent = false;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "agent") == 0) agent = true;
    if (std::strcmp(argv[i], "autoplay") == 0) SetAutoPlaySuppression(true);
  }
  OnSetupTick = SetupTick;
  OnAgentTick = AgentTick;
  OnAgentSetting = AgentSetting;
  RunStubWinMain(GetModuleHandleA(nullptr), argv[1], agent);
  return HTTP_IsAborted() ? 0 : 3;
}
