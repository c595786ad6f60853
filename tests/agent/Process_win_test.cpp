// Finding the stand-in product and waiting for its end; each shut-down
// method runs end to end (update_e2e.py). On Windows 8 and later the window
// search runs our tasklist (Wine's own prints nothing); the same tests run
// in prefixes set to Windows 7 (PSAPI) and XP (see os_versions.sh).
#include <gtest/gtest.h>

#include <cstdlib>

#include "agent/Process.h"
#include "agent/ProcessViewer.h"
#include "support/ExecPipe.h"
#include "support/Handles.h"
#include "support/SupportWin.h"
#include "support/Win64.h"
#include "text/Common.h"

namespace {

std::string ProductPath() {
  return ProgramFolder(true) + "standin_product.exe";
}

// Our tasklist in the system folder, loaded instead of Wine's built-in one.
class TasklistInstall : public ::testing::Environment {
public:
  void SetUp() override {
    const std::string target = SystemFolder(true) + "tasklist.exe";
    CopyFileA((ProgramFolder(true) + "..\\agent_fixture\\tasklist.exe").c_str(), target.c_str(),
              FALSE);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\DllOverrides", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
      TRegKey owned(key);
      RegSetValueExA(key, "tasklist.exe", 0, REG_SZ, reinterpret_cast<const BYTE*>("native"), 7);
    }
  }
};
const auto* const GTasklist = ::testing::AddGlobalTestEnvironment(new TasklistInstall);

// One run of the stand-in product, ended when the test ends.
class TProduct {
public:
  explicit TProduct(const std::string& flags) : FDir("korvix_product") {
    const std::string report = FDir / "report.txt";
    std::string cmd = "\"" + ProductPath() + "\" --report \"" + report + "\" " + flags;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessA(ProductPath().c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &si, &pi))
      FProcess = TProcess(pi);
    for (int i = 0; i < 100 && ReadFilePart(report, 0, false, 0).empty(); ++i) Sleep(100);
  }
  ~TProduct() {
    if (FProcess) TerminateProcess(FProcess.Process.Get(), 9);
  }
  DWORD Id() const { return FProcess.Id; }
  bool Ended(DWORD ms) { return WaitForSingleObject(FProcess.Process.Get(), ms) == WAIT_OBJECT_0; }

private:
  ScratchDir FDir;
  TProcess FProcess;
};

}  // namespace

TEST(ProcessControl, FoundByItsMainWindowAndListedWhileItRuns) {
  {
    TProduct product("");
    HWND w = FindProcessWindow(ProductPath(), true, false);
    ASSERT_TRUE(w);
    EXPECT_EQ("Stand-in Product", WindowTitle(w));
    EXPECT_EQ(w, FindProcessWindow("\"standin_product.exe\"", false, true));
    EXPECT_EQ(w, TAnalizer(product.Id()).MainWindow());
    const std::string item = "standin_product.exe=" + IntToStr(product.Id());
    EXPECT_NE(0u, PosNoCase("|" + item + "|", ProcessList(false, true)));
    EXPECT_TRUE(IsProcessRunning("\"" + ProductPath() + "\""));
    EXPECT_TRUE(IsProcessRunning("STANDIN_PRODUCT.EXE"));
  }
  EXPECT_FALSE(IsProcessRunning(ProductPath()));
  EXPECT_FALSE(IsProcessRunning(ProgramFolder(true) + "no_such_program.exe"));
  EXPECT_FALSE(PostProcessMessage(ProductPath(), true, WM_NULL, 0, 0));
  EXPECT_FALSE(TerminateProcessByName(ProductPath(), true));
}

TEST(ProcessControl, WaitProcessGoneGivesUpAfterAboutASecond) {
  TProduct product("--ignore-close --ignore-quit");
  const int64_t start = NowMs();
  WaitProcessGone(ProductPath(), 0);
  const int64_t took = NowMs() - start;
  EXPECT_GE(took, 1000);
  EXPECT_LT(took, 4000);
  EXPECT_FALSE(product.Ended(0));
  // A process that ends meanwhile ends the wait early.
  TerminateProcessByName(ProductPath(), true);
  const int64_t again = NowMs();
  WaitProcessGone(ProductPath(), 5000);
  EXPECT_LT(NowMs() - again, 2000);
}

TEST(ProcessControl, XpListHasFullPathsFromPsapi) {
  if (!getenv("KORVIX_EXPECT_XP")) GTEST_SKIP() << "run by os_versions.sh under Windows XP";
  ASSERT_TRUE(IsWindowsXP());
  TProduct product("");
  EXPECT_NE(0u, PosNoCase("|" + ProductPath() + "=" + IntToStr(product.Id()) + "|",
                          ProcessList(true, true)));
}
