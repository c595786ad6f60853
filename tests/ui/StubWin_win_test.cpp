// The main window in a process of its own (a copy of ui_mainwin_app.exe with
// a payload appended), read and closed from this one.
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

const DWORD WindowTimeoutMs = 30000;

void AppendRecord(std::string& out, const std::string& data)
{
  uint32_t n = (uint32_t)data.size();
  for (int i = 0; i < 4; ++i) out += char((n >> (8 * i)) & 0xFF);
  out += data;
}

// A copy of the window program in the temporary folder, with a payload
// holding `languageBlock` when it is not empty.
std::string MakeSetup(const std::string& name, const std::string& languageBlock)
{
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  std::string path = std::string(temp) + name;
  if (!CopyFileA((BinDir() + "ui_mainwin_app.exe").c_str(), path.c_str(), FALSE)) return "";
  if (languageBlock.empty()) return path;

  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return "";
  std::fseek(f, 0, SEEK_END);
  long start = std::ftell(f);
  TTrailer trailer;
  trailer.Bytes[TRL_HEADER_COUNT] = 2;
  trailer.SetU32(TRL_RECORD_AREA, (uint32_t)start);
  trailer.SetU32(TRL_MAGIC, KContainerMagic);
  trailer.SetU32(TRL_CHECKSUM, 1234);
  trailer.SetU32(TRL_LENGTH, KTrailerSize);
  std::string bytes;
  AppendRecord(bytes, languageBlock);
  AppendRecord(bytes, "|||||");
  bytes.append((const char*)trailer.Bytes, KTrailerSize);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

std::string Record(const std::string& name, const std::vector<std::string>& entries)
{
  std::string r = "\x02\x01" + name + "\x01";
  for (const std::string& e : entries) r += e + "\x01";
  return r + "\x02";
}

struct TRunningWindow {
  TChild Process;
  HWND Window = nullptr;
  std::string Path;
  ~TRunningWindow()
  {
    if (Window && IsWindow(Window)) {
      DWORD_PTR r;
      SendMessageTimeoutA(Window, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &r);
      SendMessageTimeoutA(Window, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &r);
    }
    Process.Wait(WindowTimeoutMs);
    if (!Path.empty()) DeleteFileA(Path.c_str());
  }
};

// Starts the setup and waits until its first tick has shown the window.
bool StartAndWait(TRunningWindow& run, const std::string& path, const std::string& cls,
                  const std::string& extra = "")
{
  run.Path = path;
  if (path.empty() || !run.Process.Start(path, "\"" + cls + "\" " + extra)) return false;
  run.Window = PollWindow(
      [&]() -> HWND {
        HWND w = FindWindowA(cls.c_str(), nullptr);
        return w && IsWindowVisible(w) ? w : nullptr;
      },
      WindowTimeoutMs);
  return run.Window != nullptr;
}

void ExpectPlace(HWND child, int left, int top, int width, int height)
{
  RECT r = ClientRectOf(child);
  EXPECT_EQ(r.left, left);
  EXPECT_EQ(r.top, top);
  EXPECT_EQ(r.right - r.left, width);
  EXPECT_EQ(r.bottom - r.top, height);
}

}  // namespace

TEST(MainWindow, DefaultTitlePlacesProgressAndClosing)
{
  TRunningWindow run;
  ASSERT_TRUE(StartAndWait(run, MakeSetup("korvix_mw_plain.exe", ""), "KorvixTestMain1"));
  HWND w = run.Window;
  EXPECT_EQ(TextOf(w), "Korvix Installation Suite");

  RECT r, wa = WorkArea();
  GetWindowRect(w, &r);
  EXPECT_EQ(r.right - r.left, 492);
  EXPECT_EQ(r.bottom - r.top, 110);
  EXPECT_EQ(r.left, wa.left + (wa.right - wa.left - 492) / 2);
  EXPECT_EQ(r.top, wa.top + (wa.bottom - wa.top - 110) / 2);
  EXPECT_EQ((DWORD)GetWindowLongA(w, GWL_STYLE) & 0x02C80000u, 0x02C80000u);

  std::vector<HWND> statics = ChildrenOfClass(w, "Static");
  std::vector<HWND> bars = ChildrenOfClass(w, PROGRESS_CLASSA);
  ASSERT_EQ(statics.size(), 1u);
  ASSERT_EQ(bars.size(), 2u);
  ExpectPlace(statics[0], 70, 20, 340, 18);
  ExpectPlace(bars[0], 70, 38, 392, 13);
  ExpectPlace(bars[1], 416, 20, 46, 13);
  EXPECT_EQ(TextOf(statics[0]), "Extracting Files...");
  EXPECT_FALSE(GetWindowLongA(statics[0], GWL_STYLE) & SS_RIGHT);

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
  EXPECT_EQ(run.Process.Wait(WindowTimeoutMs), 0);
  EXPECT_FALSE(IsWindow(w));
}

TEST(MainWindow, LanguageTitleAndRightToLeftPlaces)
{
  TRunningWindow run;
  std::string block = Record("Hebrew", {"Charset=177", "FontSize=9", "FontName=Arial",
                                        "s0=Korvix Test Product", "s1=Extracting (rtl)"});
  ASSERT_TRUE(StartAndWait(run, MakeSetup("korvix_mw_rtl.exe", block), "KorvixTestMain2"));
  HWND w = run.Window;
  EXPECT_EQ(TextOf(w), "Korvix Test Product");
  std::vector<HWND> statics = ChildrenOfClass(w, "Static");
  std::vector<HWND> bars = ChildrenOfClass(w, PROGRESS_CLASSA);
  ASSERT_EQ(statics.size(), 1u);
  ASSERT_EQ(bars.size(), 2u);
  ExpectPlace(statics[0], 122, 20, 340, 18);
  ExpectPlace(bars[0], 70, 38, 392, 13);
  ExpectPlace(bars[1], 70, 20, 46, 13);
  EXPECT_EQ(TextOf(statics[0]), "Extracting (rtl)");
  EXPECT_TRUE(GetWindowLongA(statics[0], GWL_STYLE) & SS_RIGHT);
  EXPECT_TRUE(GetWindowLongA(statics[0], GWL_EXSTYLE) & WS_EX_RTLREADING);
}

TEST(MainWindow, AgentMessagesAndAutoPlay)
{
  TRunningWindow run;
  ASSERT_TRUE(StartAndWait(run, MakeSetup("korvix_mw_agent.exe", ""), "KorvixTestMain3",
                           "agent autoplay"));
  HWND w = run.Window;
  DWORD_PTR result = 0;
  ASSERT_TRUE(SendMessageTimeoutA(w, WM_USER + 101, 30, 12, SMTO_NORMAL, 10000, &result));
  EXPECT_EQ(result, 42u);
  UINT autoPlay = RegisterWindowMessageA("QueryCancelAutoPlay");
  ASSERT_TRUE(SendMessageTimeoutA(w, autoPlay, 0, 0, SMTO_NORMAL, 10000, &result));
  EXPECT_EQ(result, 1u);
  // The agent's window ticks on: no setup flow ran, the progress is untouched.
  std::vector<HWND> bars = ChildrenOfClass(w, PROGRESS_CLASSA);
  ASSERT_EQ(bars.size(), 2u);
  EXPECT_EQ(SendMessageA(bars[0], PBM_GETPOS, 0, 0), 0);
  EXPECT_FALSE(IsWindowVisible(bars[1]));
}
