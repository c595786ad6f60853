#include "agent/StubAUInstall.h"

#include <cctype>

#include "text/Common.h"

#ifdef _WIN32
#include <windows.h>

#include "agent/Process.h"
#include "agent/StubAU.h"
#include "payload/StubSetup.h"
#include "payload/StubUtil.h"
#include "support/ExecPipe.h"
#include "support/Files.h"
#include "support/Handles.h"
#include "support/KDebug.h"
#include "text/RunTimeDir.h"
#include "ui/KMsgBox.h"
#endif

namespace {

const char* const KMethodNames[] = {"Issue a Message Box", "Using WM_CLOSE", "Using WM_QUIT",
                                    "Using Terminate Process", "Don't Shut Down"};

void Stage(TInstallWorld& w, int n) {
  w.Debug(" ==== PerformAutoUpdate-" + IntToStr(n) + " ====");
}

// A notice the user cannot decline (forced), or a question.
bool Confirm(TInstallWorld& w, bool force, const std::string& text) {
  if (force) {
    w.Attention(KBoxNoClose, text);
    return true;
  }
  return w.Ask(KBoxCaptionLine, text);
}

// Stages 7 to 9: the product is shut down by the method of the ".info"
// file. Every method but "Don't Shut Down" waits up to a second for it.
void ShutDownProduct(TInstallWorld& w, const std::string& path) {
  const std::string methodText = w.Text(KShutDownMethod);
  const TShutDownMethod method = ShutDownMethodOf(methodText);
  w.Log("Shut Down Process() - START  (" + path + ")  Method: " + methodText);
  if (method == KIssueMessageBox) {
    const std::string text = ReplaceAll(w.Text(KS15), "PROG_NAME", LastPathElement(path));
    w.Debug("s1=" + text + "<");
    while (w.Running(path)) w.Attention(KBoxCaptionLine, text);
  }
  Stage(w, 8);
  if (method == KUsingWMClose || method == KUsingWMQuit || method == KUsingTerminate)
    w.Send(method, path);
  if (method != KDontShutDown) w.WaitGone(path);
  Stage(w, 9);
  w.Log("Shut Down Process() - END");
}

// Stages 5 to 12 of a run whose ".info" file names a setup.
bool Install(TInstallWorld& w, const std::string& base, const std::string& name) {
  Stage(w, 5);
  const std::string product = w.Text(KProgramNameInfo);
  const bool interactive = w.Interactive() == 1;
  const bool askInstall = w.Effective(KOvConfirmInstall);
  const bool downloadForce = w.Effective(KOvConfirmDownloadForce);
  const TDescKey second = downloadForce ? (askInstall ? KS19 : KS18) : (askInstall ? KS13 : KS12);
  bool goOn = true;
  if (w.Effective(KOvConfirmDownload) && !interactive)
    goOn =
        Confirm(w, downloadForce, ReplaceAll(w.Text(KS11) + w.Text(second), "PROG_NAME", product));
  w.Wait(500);
  if (!goOn) return false;

  Stage(w, 6);
  w.ShotState(2);
  w.Notify(41, 1);
  bool downloaded = w.Download(base, name);
  w.Notify(41, 2);
  const bool installForce = w.Effective(KOvConfirmInstallForce);
  if (downloaded && askInstall && !interactive)
    downloaded = Confirm(w, installForce,
                         ReplaceAll(w.Text(installForce ? KS20 : KS14), "PROG_NAME", product));
  w.Wait(100);
  if (!downloaded) return false;

  Stage(w, 7);
  const std::string path = w.ProductPath();
  const bool wasRunning = w.Running(path);
  ShutDownProduct(w, path);
  const bool restart = w.Effective(KOvRestartProcess) && wasRunning && !w.Running(path);

  // The download kept only the name's last element; the setup is that file
  // in the agent folder (a name with "..\" parts must not reach elsewhere).
  const std::string setupFile = w.AgentFolder() + LastPathElement(name);
  w.ShotState(3);
  w.Notify(42, 1);
  Stage(w, 10);
  const bool installed = w.RunSetup(setupFile, "/OriginalInfoFile=\"" + w.InfoPath() + "\"",
                                    !w.Effective(KOvBackgroundUpdate));
  Stage(w, 11);
  w.Notify(42, 2);
  w.RemoveFile(setupFile);

  bool answer = true;
  if (installed) {
    w.WriteVersionOriginal(w.Int(KVersionNew));
    const std::string text = ReplaceAll(w.Text(KS16), "PROG_NAME", product);
    if (w.Effective(KOvInformFinish) || interactive) {
      if (restart)
        answer = w.Ask(KBoxPlain, text + w.Text(KS17));
      else
        w.Attention(KBoxPlain, text);
    }
  }
  Stage(w, 12);
  w.Debug(BoolText(restart) + " " + BoolText(answer) + " >" + path + "<");
  if (restart && answer) {
    if (IsFullPath(path))
      w.StartProduct(path);
    else
      w.Log("RunningProcess is not a full path, not started: " + path);
  }
  return installed;
}

}  // namespace

TShutDownMethod ShutDownMethodOf(const std::string& value) {
  for (int i = 0; i < KOtherMethod; ++i)
    if (value == KMethodNames[i]) return static_cast<TShutDownMethod>(i);
  return KOtherMethod;
}

bool IsFullPath(const std::string& path) {
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      path[2] == '\\')
    return true;
  return path.size() > 2 && path[0] == '\\' && path[1] == '\\';
}

bool PerformAutoUpdateWith(TInstallWorld& w) {
  w.Log("PerformAutoUpdate() - START");
  Stage(w, 4);
  const std::string base = w.Text(KDownloadURL_UPDATE), name = w.Text(KNameOfUpdateFile);
  const bool installed = !base.empty() && !name.empty() && Install(w, base, name);
  Stage(w, 13);
  w.Log("PerformAutoUpdate() - END    Result=" + BoolText(installed));
  return installed;
}

#ifdef _WIN32
namespace {

class TMachineInstall : public TInstallWorld {
public:
  std::string Text(TDescKey key) override { return DescText(key); }
  std::int64_t Int(TDescKey key) override { return DescInt(key); }
  bool Effective(TOverride which) override { return EffectiveSwitch(which); }
  int Interactive() override { return Agent.Interactive; }
  void WriteVersionOriginal(std::int64_t version) override {
    WriteDescInt(KVersionOriginal, version);
  }
  void Attention(TBoxOwner owner, const std::string& text) override {
    ShowAttention(owner, text, DescText(KAttentionCaption), static_cast<int>(DescInt(KCharSet)),
                  DescText(KBtnText));
  }
  bool Ask(TBoxOwner owner, const std::string& text) override {
    return AskYesNo(owner, text, DescText(KConfirmCaption), static_cast<int>(DescInt(KCharSet)),
                    DescText(KBtnText));
  }
  void Wait(unsigned ms) override { WaitPumping(0, ms); }
  void ShotState(int state) override { Agent.ShotState = state; }
  void Notify(int code, int value) override { NotifyController(code, value); }
  bool Download(const std::string& base, const std::string& name) override {
    std::string error;
    return DownloadFileAU(base, name, 2, error);
  }
  std::string ProductPath() override {
    SetMacroFolders(DescText(KTargetDir), DescText(KSharedDir), DescText(KAuxiliaryDir));
    return ExpandMacros(DescText(KRunningProcess), "\\", true, true);
  }
  bool Running(const std::string& path) override { return IsProcessRunning(path); }
  void Send(TShutDownMethod method, const std::string& path) override {
    if (method == KUsingWMClose)
      CloseProcess(path, true, 0);
    else if (method == KUsingWMQuit)
      QuitProcess(path, true);
    else if (method == KUsingTerminate)
      TerminateProcessByName(path, true);
  }
  void WaitGone(const std::string& path) override { WaitProcessGone(path, 0); }
  void StartProduct(const std::string& path) override {
    const TProcess started = StartProcess(path, "\"" + path + "\"", SW_SHOWNORMAL);
    if (!started) AgentLog("Restart failed: " + path);
  }
  std::string AgentFolder() override { return ProgramFolder(true); }
  std::string InfoPath() override { return InfoFilePath(); }
  bool RunSetup(const std::string& setupFile, const std::string& extraArgs,
                bool foreground) override {
    const std::string folder = GetSetupTempDir();
    const bool installed =
        ExtractAndRunEngine(folder, setupFile, AgentLinks.AgentExeName, extraArgs, foreground);
    DeleteTree(folder, false);
    return installed;
  }
  void RemoveFile(const std::string& path) override { DeleteFileA(path.c_str()); }
  void Log(const std::string& line) override { AgentLog(line); }
  void Debug(const std::string& line) override {
    DebugLine(static_cast<unsigned long>(GetCurrentProcessId()), line);
  }
};

}  // namespace

bool PerformAutoUpdate() {
  TMachineInstall world;
  return PerformAutoUpdateWith(world);
}
#endif
