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
#include "ui/UiTestSupport.h"

using namespace uitest;

namespace {

const DWORD TimeoutMs = 30000;

std::string Record(const std::string& data) {
  uint32_t n = (uint32_t)data.size();
  return std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)} + data;
}

// A copy of the window program in the temporary folder; with a language
// record, followed by a payload of it and empty update settings.
std::string MakeSetup(const std::string& name, const std::string& language) {
  char temp[MAX_PATH] = {}, self[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string app = self, path = temp + name;
  app = app.substr(0, app.find_last_of('\\') + 1) + "ui_mainwin_app.exe";
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
  PROCESS_INFORMATION Info = {};
  std::string Path;
  HWND Window = nullptr;

  TWindowProcess(const std::string& path, const std::string& cls) : Path(path) {
    std::string cmd = "\"" + path + "\" " + cls;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    if (!CreateProcessA(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &Info))
      return;
    for (DWORD start = GetTickCount(); !Window && GetTickCount() - start < TimeoutMs; Sleep(25)) {
      HWND w = FindWindowA(cls.c_str(), nullptr);
      if (w && IsWindowVisible(w)) Window = w;
    }
  }
  ~TWindowProcess() {
    if (Info.hProcess) {
      if (WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(Info.hProcess, 99);
      WaitForSingleObject(Info.hProcess, TimeoutMs);
      CloseHandle(Info.hProcess);
      CloseHandle(Info.hThread);
    }
    DeleteFileA(Path.c_str());
  }
  // Exit code, or -1 when the process did not end in time.
  long Wait() {
    DWORD code = 0;
    bool ended = Info.hProcess && WaitForSingleObject(Info.hProcess, TimeoutMs) == WAIT_OBJECT_0;
    return ended && GetExitCodeProcess(Info.hProcess, &code) ? (long)code : -1;
  }
};

}  // namespace

TEST(MainWindow, TitlePlacesProgressAndClosing) {
  const struct {
    const char *Name, *Language, *Title, *Status;
    int StatusLeft, ActivityLeft;
    bool RightToLeft;
  } cases[] = {
      {"korvix_mw_plain.exe", "", "Korvix Installation Suite", "Extracting Files...", 70, 416,
       false},
      {"korvix_mw_rtl.exe",  // the language record: name, then key=value entries
       "\x02\x01Hebrew\x01"
       "Charset=177\x01"
       "FontSize=9\x01"
       "FontName=Arial\x01"
       "s0=Korvix Test Product\x01"
       "s1=Extracting (rtl)\x01\x02",
       "Korvix Test Product", "Extracting (rtl)", 122, 70, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TWindowProcess run(MakeSetup(c.Name, c.Language), std::string("KorvixTest_") + c.Name);
    HWND w = run.Window;
    ASSERT_TRUE(w);
    EXPECT_EQ(TextOf(w), c.Title);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.right - r.left, 492);
    EXPECT_EQ(r.bottom - r.top, 110);
    ExpectCentredInWorkArea(w);
    EXPECT_EQ((DWORD)GetWindowLongA(w, GWL_STYLE) & 0x02C80000u, 0x02C80000u);

    std::vector<HWND> statics = ChildrenOfClass(w, "Static");
    std::vector<HWND> bars = ChildrenOfClass(w, PROGRESS_CLASSA);
    ASSERT_EQ(statics.size(), 1u);
    ASSERT_EQ(bars.size(), 2u);
    ExpectPlace(statics[0], c.StatusLeft, 20, 340, 18);
    ExpectPlace(bars[0], 70, 38, 392, 13);
    ExpectPlace(bars[1], c.ActivityLeft, 20, 46, 13);
    EXPECT_EQ(TextOf(statics[0]), c.Status);
    EXPECT_EQ((GetWindowLongA(statics[0], GWL_STYLE) & SS_RIGHT) != 0, c.RightToLeft);
    EXPECT_EQ((GetWindowLongA(statics[0], GWL_EXSTYLE) & WS_EX_RTLREADING) != 0, c.RightToLeft);

    // 70000 in 16 bits is 4464; ten steps from 0; the activity bar cycled
    // 1 2 3 4 5 0 1 2 3 4.
    EXPECT_EQ(SendMessageA(bars[0], PBM_GETRANGE, FALSE, 0), 4464);
    EXPECT_EQ(SendMessageA(bars[0], PBM_GETPOS, 0, 0), 10);
    EXPECT_EQ(SendMessageA(bars[1], PBM_GETRANGE, FALSE, 0), 5);
    EXPECT_EQ(SendMessageA(bars[1], PBM_GETPOS, 0, 0), 4);

    // The first close only sets the abort flag; the second closes.
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutA(w, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result));
    EXPECT_TRUE(IsWindow(w));
    ASSERT_TRUE(SendMessageTimeoutA(w, WM_CLOSE, 0, 0, SMTO_NORMAL, 10000, &result));
    EXPECT_EQ(run.Wait(), 0);
    EXPECT_FALSE(IsWindow(w));
  }
}
