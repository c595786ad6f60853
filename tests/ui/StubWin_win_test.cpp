// The main window in a process of its own (a copy of ui_mainwin_app.exe),
// read and closed from this one.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <fstream>
#include <string>
#include <vector>

#include "payload/ContainerBuilder.h"
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

// A setup with a Hebrew language record, started from a folder (as
// Downloads) where a comctl32.dll was planted: the title and the status line
// from the record, right to left, and the progress bars from the system's
// own library, the planted one never loaded.
TEST(MainWindow, LanguageRecordRightToLeftAndAPlantedComCtlNeverLoads) {
  ScratchDir d("korvix_mainwin");
  const std::string app = d / "korvix_plant_mainwin.exe", probe = d / "korvix_plant_probe2.exe";
  const std::string marker = d / "planted_comctl32.marker";
  testpayload::TContainer setup;
  setup.Image = ReadFilePart(ProgramFolder(true) + "ui_mainwin_app.exe", 0, false, 0);
  setup.Headers = {
      "\x02\x01Hebrew\x01"
      "Charset=177\x01"
      "s0=Korvix Test Product\x01"
      "s1=Extracting (rtl)\x01\x02",
      "|||||"};
  std::ofstream(app, std::ios::binary) << setup.Build();
  ASSERT_TRUE(CopyFileA(ProbePath().c_str(), probe.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(FakeComCtlPath().c_str(), (d / "comctl32.dll").c_str(), FALSE));
  const TNativeFirst appFirst("korvix_plant_mainwin.exe", "comctl32");
  const TNativeFirst probeFirst("korvix_plant_probe2.exe", "comctl32");
  const TCaptured plain = RunHidden(probe, "loadplain comctl32.dll");
  ASSERT_TRUE(plain.Ok) << plain.Err;
  ASSERT_TRUE(DeleteFileA(marker.c_str())) << "the fixture is not effective: " << plain.Out;

  TWindowProcess run(app, "KorvixTest_rtl");
  ASSERT_TRUE(run.Window);
  EXPECT_EQ(TextOf(run.Window), "Korvix Test Product");
  std::vector<HWND> statics = ChildrenOfClass(run.Window, "Static");
  ASSERT_EQ(statics.size(), 1u);
  EXPECT_EQ(TextOf(statics[0]), "Extracting (rtl)");
  EXPECT_NE(GetWindowLongA(statics[0], GWL_EXSTYLE) & WS_EX_RTLREADING, 0);
  EXPECT_EQ(ChildrenOfClass(run.Window, PROGRESS_CLASSA).size(), 2u);
  run.CloseTwice();
  EXPECT_FALSE(FileExists(marker));
}
