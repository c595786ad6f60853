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

TEST(PerformAutoUpdate, WithoutAddressOrSetupNameNothingHappens) {
  for (TDescKey emptied : {KDownloadURL_UPDATE, KNameOfUpdateFile}) {
    TFakeInstall w;
    w.Texts[emptied] = "";
    EXPECT_FALSE(PerformAutoUpdateWith(w));
    EXPECT_TRUE(w.Events.empty());
  }
}

// The text and kind of the box before the download, by the switches.
TEST(PerformAutoUpdate, DownloadQuestionTextAndKindFollowTheSwitches) {
  struct {
    bool confirmInstall, force;
    int interactive;
    const char* box;  // "" for none
  } cases[] = {
      {true, false, 0, "ask 0 Get Demo? s13"},
      {false, true, 0, "notice 2 Get Demo? s18"},  // forced: no No
      {true, false, 1, ""},  // an interactive check asks nothing before the download
  };
  for (const auto& c : cases) {
    TFakeInstall w;
    w.Switches[KOvConfirmDownload] = true;
    w.Switches[KOvConfirmInstall] = c.confirmInstall;
    w.Switches[KOvConfirmDownloadForce] = c.force;
    w.InteractiveValue = c.interactive;
    EXPECT_TRUE(PerformAutoUpdateWith(w));
    const std::string first = w.Events.front();
    if (*c.box)
      EXPECT_EQ(first, c.box);
    else
      EXPECT_EQ(first.rfind("download", 0), 0u) << first;
  }
}

// No before the download fetches nothing; No before the install leaves the
// downloaded setup, the product and the version alone.
TEST(PerformAutoUpdate, NoAtEitherQuestionStopsWithNothingLost) {
  for (bool downloadYes : {false, true}) {
    TFakeInstall w;
    w.Switches[KOvConfirmDownload] = w.Switches[KOvConfirmInstall] = true;
    w.Answers = {downloadYes, false};
    EXPECT_FALSE(PerformAutoUpdateWith(w));
    EXPECT_EQ(downloadYes, w.Has("download"));
    EXPECT_FALSE(w.Has("send") || w.Has("setup") || w.Has("delete") || w.Has("version"));
  }
}

TEST(PerformAutoUpdate, ForcedInstallNoticeGoesOnAndFailedDownloadStops) {
  TFakeInstall forced;  // a forced install notice cannot be declined
  forced.Switches[KOvConfirmInstall] = forced.Switches[KOvConfirmInstallForce] = true;
  EXPECT_TRUE(PerformAutoUpdateWith(forced));
  EXPECT_EQ(forced.Events[1], "notice 2 s20");

  TFakeInstall failed;
  failed.Downloads = false;
  failed.Switches[KOvConfirmInstall] = true;
  EXPECT_FALSE(PerformAutoUpdateWith(failed));
  EXPECT_EQ(failed.Events.size(), 1u);
}

// The methods themselves run against the stand-in product end to end; here
// the cases it cannot show: a value that names no method sends nothing but
// still waits, "Don't Shut Down" does not wait, and a product that does not
// run gets no box and no restart.
TEST(PerformAutoUpdate, UnknownMethodWaitsAndIdleProductIsLeftAlone) {
  for (const char* method : {"using wm_close", "Don't Shut Down"}) {
    TFakeInstall w;
    w.Texts[KShutDownMethod] = method;
    EXPECT_TRUE(PerformAutoUpdateWith(w));
    EXPECT_FALSE(w.Has("send"));
    EXPECT_EQ(w.Has("wait"), method[0] == 'u');  // "Don't Shut Down" does not wait
  }

  TFakeInstall idle;
  idle.Texts[KShutDownMethod] = "Issue a Message Box";
  idle.ProductRuns = false;
  idle.Switches[KOvRestartProcess] = true;
  EXPECT_TRUE(PerformAutoUpdateWith(idle));
  EXPECT_FALSE(idle.Has("notice") || idle.Has("start"));
}

TEST(PerformAutoUpdate, AfterTheSetupVersionFileAndFinishMessage) {
  TFakeInstall w;
  w.Texts[KNameOfUpdateFile] = "..\\..\\Windows\\New.exe";
  w.Switches[KOvBackgroundUpdate] = true;
  w.Switches[KOvInformFinish] = w.Switches[KOvRestartProcess] = true;
  w.Answers = {false};
  EXPECT_TRUE(PerformAutoUpdateWith(w));
  const std::vector<std::string> tail(w.Events.end() - 4, w.Events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "setup C:\\Agent\\New.exe /OriginalInfoFile=\"C:\\Agent\\Demo.info\" bg",
                      "delete C:\\Agent\\New.exe", "version 7", "ask 1 Demo updated. Restart?"}));
  EXPECT_FALSE(w.Has("start"));  // the user said No to the restart

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
}

}  // namespace
