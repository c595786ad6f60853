// The main window in a process of its own (a copy of ui_mainwin_app.exe),
// read and closed from this one.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <string>
#include <vector>

#include "payload/ContainerBuilder.h"
#include "support/Files.h"
#include "support/ExecPipe.h"
#include "support/Handles.h"
#include "support/SupportWin.h"
#include "ui/UiTestSupport.h"

using namespace uitest;

namespace {

const DWORD KTimeoutMs = 30000;

// The window program started from `path`, with its window once shown; ended
// when dropped.
struct TWindowProcess {
  TProcess Process;
  HWND Window = nullptr;

  TWindowProcess(const std::string& path, const std::string& cls) {
    std::string cmd = "\"" + path + "\" " + cls;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
      return;
    Process = TProcess(pi);
    for (DWORD start = GetTickCount(); !Window && GetTickCount() - start < KTimeoutMs; Sleep(25)) {
      HWND w = FindWindowA(cls.c_str(), nullptr);
      if (w && IsWindowVisible(w)) Window = w;
    }
  }
  ~TWindowProcess() {
    if (Process && WaitForSingleObject(Process.Process.Get(), 0) == WAIT_TIMEOUT) {
      TerminateProcess(Process.Process.Get(), 99);
      WaitForSingleObject(Process.Process.Get(), KTimeoutMs);
    }
  }
  // The first close only sets the abort flag; the second ends the window and
  // the process with 0.
  void CloseTwice() {
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(Window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result));
    EXPECT_TRUE(IsWindow(Window));
    ASSERT_TRUE(SendMessageTimeoutA(Window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result));
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(Process.Process.Get(), KTimeoutMs), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeProcess(Process.Process.Get(), &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(IsWindow(Window));
  }
};

}  // namespace

// A payload with a Hebrew language record, and empty update settings.
TEST(MainWindow, TitleAndStatusFromTheLanguageRecordRightToLeft) {
  ScratchDir d("korvix_mainwin");
  const std::string path = d / "korvix_mw_rtl.exe";
  testpayload::TContainer setup;
  setup.Image = ReadFilePart(ProgramFolder(true) + "ui_mainwin_app.exe", 0, false, 0);
  setup.Headers = {
      "\x02\x01Hebrew\x01"
      "Charset=177\x01"
      "FontSize=9\x01"
      "FontName=Arial\x01"
      "s0=Korvix Test Product\x01"
      "s1=Extracting (rtl)\x01\x02",
      "|||||"};
  std::ofstream(path, std::ios::binary) << setup.Build();

  TWindowProcess run(path, "KorvixTest_rtl");
  HWND w = run.Window;
  ASSERT_TRUE(w);
  EXPECT_EQ(TextOf(w), "Korvix Test Product");
  std::vector<HWND> statics = ChildrenOfClass(w, "Static");
  ASSERT_EQ(statics.size(), 1u);
  EXPECT_EQ(TextOf(statics[0]), "Extracting (rtl)");
  EXPECT_NE(GetWindowLongA(statics[0], GWL_EXSTYLE) & WS_EX_RTLREADING, 0);
  run.CloseTwice();
}

// A comctl32.dll planted beside the setup (as in a Downloads folder) never
// loads, and the progress bars still come from the system's own.
TEST(MainWindow, PlantedComCtlBesideTheSetupNeverLoads) {
  ScratchDir d("korvix_comctl_plant");
  const std::string app = d / "korvix_plant_mainwin.exe", probe = d / "korvix_plant_probe2.exe";
  const std::string marker = d / "planted_comctl32.marker";
  ASSERT_TRUE(CopyFileA((ProgramFolder(true) + "ui_mainwin_app.exe").c_str(), app.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(ProbePath().c_str(), probe.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(FakeComCtlPath().c_str(), (d / "comctl32.dll").c_str(), FALSE));
  const TNativeFirst appFirst("korvix_plant_mainwin.exe", "comctl32");
  const TNativeFirst probeFirst("korvix_plant_probe2.exe", "comctl32");

  // The fixture is effective: a load by name takes the planted copy.
  std::string out, err;
  unsigned long code = 0;
  ASSERT_TRUE(RunCaptured(probe, "loadplain comctl32.dll", SW_HIDE, 1, out, err, code)) << err;
  ASSERT_TRUE(FileExists(marker)) << out;
  ASSERT_TRUE(DeleteFileA(marker.c_str()));

  TWindowProcess run(app, "KorvixTest_plant");
  ASSERT_TRUE(run.Window);
  EXPECT_EQ(ChildrenOfClass(run.Window, PROGRESS_CLASSA).size(), 2u);
  run.CloseTwice();
  EXPECT_FALSE(FileExists(marker));
}
