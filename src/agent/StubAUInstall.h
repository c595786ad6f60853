// Installing an update that a probe of the agent found: the questions or
// notices before the download and before the install, the download of the
// new setup, shutting the running product down by the ".info" file's method,
// running the new setup through the extraction and its engine, recording the
// new version, the finish message and the restart of the product.
//
// Portable: the run's sequence over a TInstallWorld; the world that acts on
// this machine is Windows only.
#pragma once

#include <cstdint>
#include <string>

#include "agent/StubGlob.h"

// The ShutDownMethod values, compared exactly; anything else is KOtherMethod
// (nothing is sent, but the wait for the product still happens).
enum TShutDownMethod {
  KIssueMessageBox,
  KUsingWMClose,
  KUsingWMQuit,
  KUsingTerminate,
  KDontShutDown,
  KOtherMethod
};
TShutDownMethod ShutDownMethodOf(const std::string& value);

// Owner codes of the agent's boxes: the caption repeated as a bold first
// line, plain, plain without the Close item.
enum TBoxOwner { KBoxCaptionLine = 0, KBoxPlain = 1, KBoxNoClose = 2 };

// Everything one installation run needs outside its own sequence.
class TInstallWorld {
public:
  virtual ~TInstallWorld() = default;
  virtual std::string Text(TDescKey key) = 0;
  virtual std::int64_t Int(TDescKey key) = 0;
  virtual bool Effective(TOverride which) = 0;  // a switch after the overrides
  virtual int Interactive() = 0;
  virtual void WriteVersionOriginal(std::int64_t version) = 0;
  virtual void Attention(TBoxOwner owner, const std::string& text) = 0;
  virtual bool Ask(TBoxOwner owner, const std::string& text) = 0;  // true for Yes
  virtual void Wait(unsigned ms) = 0;
  virtual void ShotState(int state) = 0;
  virtual void Notify(int code, int value) = 0;
  // Fetches the update setup into the agent folder (token checked).
  virtual bool Download(const std::string& base, const std::string& name) = 0;
  // RunningProcess with the installation folders and path macros expanded.
  virtual std::string ProductPath() = 0;
  virtual bool Running(const std::string& path) = 0;
  // KUsingWMClose, KUsingWMQuit or KUsingTerminate on the product.
  virtual void Send(TShutDownMethod method, const std::string& path) = 0;
  virtual void WaitGone(const std::string& path) = 0;  // at most 1,000 ms
  virtual void StartProduct(const std::string& path) = 0;
  virtual std::string AgentFolder() = 0;  // with its trailing "\"
  virtual std::string InfoPath() = 0;
  // Extracts the setup and runs its engine, then removes the extraction
  // folder; true when the engine took over.
  virtual bool RunSetup(const std::string& setupFile, const std::string& extraArgs,
                        bool foreground) = 0;
  virtual void RemoveFile(const std::string& path) = 0;
  virtual void Log(const std::string& line) = 0;    // the agent log
  virtual void Debug(const std::string& line) = 0;  // a debug line after the process id
};

// One installation; true when the new setup's engine took over.
bool PerformAutoUpdateWith(TInstallWorld& world);

// A path the agent may start the product from: a full local path
// ("C:\...") or a UNC path, never one the system would search for.
bool IsFullPath(const std::string& path);

#ifdef _WIN32
// The installation with this machine's world (descriptor files, boxes,
// process control, the setup flow's extraction).
bool PerformAutoUpdate();
#endif
