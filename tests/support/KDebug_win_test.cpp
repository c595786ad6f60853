#include "support/KDebug.h"

#include "support/Files.h"
#include "text/Common.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct Delivery {
    WPARAM source;
    std::string text;
};
std::vector<Delivery> g_received;
UINT g_debugMessage = 0;

LRESULT CALLBACK ViewerProc(HWND w, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == g_debugMessage) {
        char text[256];
        UINT n = GlobalGetAtomNameA(static_cast<ATOM>(lp), text, sizeof text);
        g_received.push_back({wp, std::string(text, n)});
        return 0;
    }
    return DefWindowProcA(w, msg, wp, lp);
}

// An in-process viewer window of class ".KDebug.".
struct Viewer {
    HWND window = nullptr;
    Viewer()
    {
        g_received.clear();
        g_debugMessage = RegisterWindowMessageA(".K_DebugMsg.");
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ViewerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = ".KDebug.";
        RegisterClassA(&wc);
        window = CreateWindowExA(0, ".KDebug.", "viewer", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                 nullptr, wc.hInstance, nullptr);
    }
    ~Viewer()
    {
        DestroyWindow(window);
        UnregisterClassA(".KDebug.", GetModuleHandleA(nullptr));
    }
};

}  // namespace

TEST(DebugViewer, LongLineArrivesAsThreeMessagesOfAtMost128Bytes)
{
    Viewer v;
    ASSERT_NE(nullptr, v.window);
    std::string line(300, 'v');
    DebugLine(line);
    ASSERT_EQ(3u, g_received.size());
    EXPECT_EQ(128u, g_received[0].text.size());
    EXPECT_EQ(128u, g_received[1].text.size());
    EXPECT_EQ(45u, g_received[2].text.size());
    EXPECT_EQ('\n', g_received[2].text.back());
    for (const Delivery& d : g_received) EXPECT_EQ(1u, d.source);
    // The atom is gone once the send has returned.
    EXPECT_EQ(0, GlobalFindAtomA(g_received[2].text.c_str()));
}

TEST(DebugViewer, WithoutViewerWritingHasNoEffect)
{
    ASSERT_EQ(nullptr, FindWindowA(".KDebug.", nullptr));
    for (int i = 0; i < 200; ++i) DebugLine("nobody listens ", i, std::string(150, 'x'));
    SUCCEED();
}

TEST(DebugFileTargetWin, ChunkIsStoredWithCrLf)
{
    std::string path = TempFolder(true) + "korvix_kdebug_target.txt";
    DeleteFileA(path.c_str());
    WriteDebugTextTo(2, "a\rb\nc\r\n", path);
    EXPECT_EQ("a\r\nb\r\nc\r\n", ReadFilePart(path, 0, false, 0));
    DeleteFileA(path.c_str());
}

TEST(AgentLogWin, LinesGoNextToTheProgram)
{
    std::string path = GetAgentLogPath();
    EXPECT_EQ(ProgramFolder(true) + "X_win_support_tests.log", path);
    DeleteFileA(path.c_str());
    SetAgentLogEnabled(true);
    AgentLog("hello agent");
    SetAgentLogEnabled(false);
    AgentLog("not written");
    std::string text = ReadFilePart(path, 0, false, 0);
    DeleteFileA(path.c_str());
    char id[32];
    std::snprintf(id, sizeof id, " %5lu   hello agent\r\n", GetCurrentThreadId());
    ASSERT_EQ(17u + std::string(id).size(), text.size()) << text;
    EXPECT_EQ(std::string(id), text.substr(17));
    std::string dateSep = LocaleDateSeparator(), timeSep = LocaleTimeSeparator();
    EXPECT_EQ(dateSep, text.substr(2, dateSep.size()));
    EXPECT_EQ(timeSep, text.substr(11, timeSep.size()));
}
