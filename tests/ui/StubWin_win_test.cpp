// The main window in a process of its own (a copy of ui_mainwin_app.exe,
// with a payload holding a language record when the case has one), read and
// closed from this one.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "payload/UnPack.h"
#include "support/Files.h"
#include "support/ExecPipe.h"
#include "support/Handles.h"
#include "support/SupportWin.h"
#include "ui/UiTestSupport.h"

using namespace uitest;

namespace {

const DWORD KTimeoutMs = 30000;

std::string Record(const std::string& data) {
  uint32_t n = (uint32_t)data.size();
  return std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)} + data;
}

// A copy of the window program in the temporary folder; with a language
// record, followed by a payload of it and empty update settings.
std::string MakeSetup(const std::string& name, const std::string& language) {
  const std::string app = ProgramFolder(true) + "ui_mainwin_app.exe",
                    path = TempFolder(true) + name;
  if (!CopyFileA(app.c_str(), path.c_str(), FALSE) || language.empty()) return path;
  FILE* f = std::fopen(path.c_str(), "ab");
  std::fseek(f, 0, SEEK_END);
  TTrailer trailer;
  trailer.Bytes[KTrlHeaderCount] = 2;
  trailer.SetU32(KTrlRecordArea, (uint32_t)std::ftell(f));
  trailer.SetU32(KTrlMagic, KContainerMagic);
  trailer.SetU32(KTrlChecksum, 1234);
  trailer.SetU32(KTrlLength, KTrailerSize);
  std::string bytes =
      Record(language) + Record("|||||") + std::string((const char*)trailer.Bytes, KTrailerSize);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

// The window program started from `path`, with its window once shown; ended
// and deleted when dropped.
struct TWindowProcess {
  TProcess Process;
  std::string Path;
  HWND Window = nullptr;

  TWindowProcess(const std::string& path, const std::string& cls) : Path(path) {
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
    if (Process) {
      if (WaitForSingleObject(Process.Process.Get(), 0) == WAIT_TIMEOUT)
        TerminateProcess(Process.Process.Get(), 99);
      WaitForSingleObject(Process.Process.Get(), KTimeoutMs);
    }
    Process = TProcess();
    DeleteFileA(Path.c_str());
  }
  // Exit code, or -1 when the process did not end in time.
  long Wait() {
    DWORD code = 0;
    HANDLE h = Process.Process.Get();
    bool ended = Process && WaitForSingleObject(h, KTimeoutMs) == WAIT_OBJECT_0;
    return ended && GetExitCodeProcess(h, &code) ? (long)code : -1;
  }
  // The first close only sets the abort flag; the second ends the window and
  // the process with 0.
  void CloseTwice() {
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(Window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result));
    EXPECT_TRUE(IsWindow(Window));
    ASSERT_TRUE(SendMessageTimeoutA(Window, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result));
    EXPECT_EQ(Wait(), 0);
    EXPECT_FALSE(IsWindow(Window));
  }
};

// The files bar after the app's ten steps of a 70000-file range (16 bits of
// it: 4464), and the activity bar after cycling 1 2 3 4 5 0 1 2 3 4.
void ExpectBarsAfterTenSteps(const std::vector<HWND>& bars) {
  ASSERT_EQ(bars.size(), 2u);
  EXPECT_EQ(SendMessageA(bars[0], PBM_GETRANGE, FALSE, 0), 4464);
  EXPECT_EQ(SendMessageA(bars[0], PBM_GETPOS, 0, 0), 10);
  EXPECT_EQ(SendMessageA(bars[1], PBM_GETRANGE, FALSE, 0), 5);
  EXPECT_EQ(SendMessageA(bars[1], PBM_GETPOS, 0, 0), 4);
}

}  // namespace

TEST(MainWindow, TitleStatusProgressAndClosing) {
  const struct {
    const char *Name, *Language, *Title, *Status;
    bool RightToLeft;
  } cases[] = {
      {"korvix_mw_plain.exe", "", "Korvix Installation Suite", "Extracting Files...", false},
      {"korvix_mw_rtl.exe",  // the language record: name, then key=value entries
       "\x02\x01Hebrew\x01"
       "Charset=177\x01"
       "FontSize=9\x01"
       "FontName=Arial\x01"
       "s0=Korvix Test Product\x01"
       "s1=Extracting (rtl)\x01\x02",
       "Korvix Test Product", "Extracting (rtl)", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TWindowProcess run(MakeSetup(c.Name, c.Language), std::string("KorvixTest_") + c.Name);
    HWND w = run.Window;
    ASSERT_TRUE(w);
    EXPECT_EQ(TextOf(w), c.Title);
    const DWORD frame = WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ((DWORD)GetWindowLongA(w, GWL_STYLE) & frame, frame);

    std::vector<HWND> statics = ChildrenOfClass(w, "Static");
    std::vector<HWND> bars = ChildrenOfClass(w, PROGRESS_CLASSA);
    ASSERT_EQ(statics.size(), 1u);
    EXPECT_EQ(TextOf(statics[0]), c.Status);
    EXPECT_EQ((GetWindowLongA(statics[0], GWL_STYLE) & SS_RIGHT) != 0, c.RightToLeft);
    EXPECT_EQ((GetWindowLongA(statics[0], GWL_EXSTYLE) & WS_EX_RTLREADING) != 0, c.RightToLeft);
    ExpectBarsAfterTenSteps(bars);
    run.CloseTwice();
  }
}

// A comctl32.dll planted beside the setup (as in a Downloads folder) never
// loads, and the progress bars still work with the system's own.
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
  ExpectBarsAfterTenSteps(ChildrenOfClass(run.Window, PROGRESS_CLASSA));
  run.CloseTwice();
  EXPECT_FALSE(FileExists(marker));
}
