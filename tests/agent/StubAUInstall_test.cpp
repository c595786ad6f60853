#include "agent/StubAUInstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace {

// A world that records what the run does, in order, as short lines.
class TFakeInstall : public TInstallWorld {
public:
  // s11 to s20 read "s11" to "s20" unless set here.
  std::map<TDescKey, std::string> Texts = {{KDownloadURL_UPDATE, "http://server/upd"},
                                           {KNameOfUpdateFile, "New.exe"},
                                           {KProgramNameInfo, "Demo"},
                                           {KShutDownMethod, "Using WM_CLOSE"},
                                           {KS11, "Get PROG_NAME? "},
                                           {KS16, "PROG_NAME updated."},
                                           {KS17, " Restart?"}};
  std::map<TOverride, bool> Switches;
  int InteractiveValue = 0;
  std::deque<bool> Answers;  // Yes when empty
  bool Downloads = true, Installs = true;
  std::string Product = "C:\\App\\demo.exe";
  bool ProductRuns = true;  // until a shut-down request is sent
  std::vector<std::string> Events;

  std::string Text(TDescKey key) override {
    if (Texts.count(key) || key < KS11 || key > KS20) return Texts[key];
    return "s" + std::to_string(key - KS11 + 11);
  }
  std::int64_t Int(TDescKey key) override { return key == KVersionNew ? 7 : 0; }
  bool Effective(TOverride which) override { return Switches[which]; }
  int Interactive() override { return InteractiveValue; }
  void WriteVersionOriginal(std::int64_t v) override {
    Events.push_back("version " + std::to_string(v));
  }
  void Attention(TBoxOwner owner, const std::string& text) override {
    Events.push_back("notice " + std::to_string(owner) + " " + text);
  }
  bool Ask(TBoxOwner owner, const std::string& text) override {
    Events.push_back("ask " + std::to_string(owner) + " " + text);
    bool yes = Answers.empty() || Answers.front();
    if (!Answers.empty()) Answers.pop_front();
    return yes;
  }
  void Wait(unsigned) override {}
  void ShotState(int) override {}
  void Notify(int, int) override {}
  bool Download(const std::string& base, const std::string& name) override {
    Events.push_back("download " + base + " " + name);
    return Downloads;
  }
  std::string ProductPath() override { return Product; }
  bool Running(const std::string&) override { return ProductRuns; }
  void Send(TShutDownMethod method, const std::string&) override {
    Events.push_back("send " + std::to_string(method));
    ProductRuns = false;
  }
  void WaitGone(const std::string&) override { Events.push_back("wait"); }
  void StartProduct(const std::string& path) override { Events.push_back("start " + path); }
  std::string AgentFolder() override { return "C:\\Agent\\"; }
  std::string InfoPath() override { return "C:\\Agent\\Demo.info"; }
  bool RunSetup(const std::string& file, const std::string& args, bool foreground) override {
    Events.push_back("setup " + file + " " + args + (foreground ? " fg" : " bg"));
    return Installs;
  }
  void RemoveFile(const std::string& path) override { Events.push_back("delete " + path); }
  void Log(const std::string&) override {}
  void Debug(const std::string&) override {}

  bool Has(const std::string& prefix) const {
    return std::any_of(Events.begin(), Events.end(),
                       [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
  }
};

// The text and kind of the box before the download, by the switches.
TEST(PerformAutoUpdate, DownloadQuestionTextAndKindFollowTheSwitches) {
  struct {
    bool confirmInstall, force;
    int interactive;
    const char* first;
  } cases[] = {
      {true, false, 0, "ask 0 Get Demo? s13"},
      {false, true, 0, "notice 2 Get Demo? s18"},              // forced: no No
      {true, false, 1, "download http://server/upd New.exe"},  // interactive: nothing asked
  };
  for (const auto& c : cases) {
    TFakeInstall w;
    w.Switches[KOvConfirmDownload] = true;
    w.Switches[KOvConfirmInstall] = c.confirmInstall;
    w.Switches[KOvConfirmDownloadForce] = c.force;
    w.InteractiveValue = c.interactive;
    EXPECT_TRUE(PerformAutoUpdateWith(w));
    EXPECT_EQ(w.Events.front(), c.first);
  }
}

// Without address or setup name, at No to either question, or when the
// download fails: the product, the setup and the version are left alone.
TEST(PerformAutoUpdate, StopsWithNothingLost) {
  TFakeInstall runs[5];
  runs[0].Texts[KDownloadURL_UPDATE] = "";
  runs[1].Texts[KNameOfUpdateFile] = "";
  runs[2].Answers = {false};
  runs[3].Answers = {true, false};  // from here on the setup is fetched
  runs[4].Downloads = false;
  for (int i = 0; i < 5; ++i) {
    TFakeInstall& w = runs[i];
    w.Switches[KOvConfirmDownload] = w.Switches[KOvConfirmInstall] = true;
    EXPECT_FALSE(PerformAutoUpdateWith(w)) << i;
    EXPECT_EQ(i >= 3, w.Has("download")) << i;
    EXPECT_FALSE(w.Has("send") || w.Has("setup") || w.Has("delete") || w.Has("version")) << i;
  }
}

TEST(PerformAutoUpdate, InstallVersionFileFinishMessageAndRestart) {
  TFakeInstall w;
  w.Texts[KNameOfUpdateFile] = "..\\..\\Windows\\New.exe";
  w.Switches[KOvBackgroundUpdate] = true;
  w.Switches[KOvInformFinish] = w.Switches[KOvRestartProcess] = true;
  w.Answers = {false};
  EXPECT_TRUE(PerformAutoUpdateWith(w));
  // The setup's "..\" parts never reach outside the agent folder.
  EXPECT_TRUE(w.Has("setup C:\\Agent\\New.exe /OriginalInfoFile=\"C:\\Agent\\Demo.info\" bg"));
  EXPECT_EQ(w.Events.back(), "ask 1 Demo updated. Restart?");  // answered No: no start

  TFakeInstall forced;  // a forced install notice cannot be declined
  forced.Switches[KOvConfirmInstall] = forced.Switches[KOvConfirmInstallForce] = true;
  forced.Answers = {false};
  EXPECT_TRUE(PerformAutoUpdateWith(forced));
  EXPECT_EQ(forced.Events[1], "notice 2 s20");

  TFakeInstall quiet;  // no finish message: the product restarts unasked
  quiet.Switches[KOvRestartProcess] = true;
  quiet.Texts[KShutDownMethod] = "Using Terminate Process";
  EXPECT_TRUE(PerformAutoUpdateWith(quiet));
  EXPECT_FALSE(quiet.Has("ask") || quiet.Has("notice"));
  EXPECT_EQ(quiet.Events.back(), "start C:\\App\\demo.exe");

  TFakeInstall interactive;  // an interactive check always tells the user
  interactive.InteractiveValue = 1;
  EXPECT_TRUE(PerformAutoUpdateWith(interactive));
  EXPECT_EQ(interactive.Events.back(), "notice 1 Demo updated.");

  TFakeInstall failed;
  failed.Installs = false;
  failed.Switches[KOvInformFinish] = true;
  EXPECT_FALSE(PerformAutoUpdateWith(failed));
  EXPECT_EQ(failed.Events.back(), "delete C:\\Agent\\New.exe");
  EXPECT_FALSE(failed.Has("version"));

  TFakeInstall relative;  // never a program the system would search for
  relative.Product = "demo.exe";
  relative.Switches[KOvRestartProcess] = true;
  EXPECT_TRUE(PerformAutoUpdateWith(relative));
  EXPECT_FALSE(relative.Has("start"));

  TFakeInstall idle;  // a product that does not run: no box, no start
  idle.Texts[KShutDownMethod] = "Issue a Message Box";
  idle.ProductRuns = false;
  idle.Switches[KOvRestartProcess] = true;
  EXPECT_TRUE(PerformAutoUpdateWith(idle));
  EXPECT_FALSE(idle.Has("notice") || idle.Has("start"));
}

}  // namespace
