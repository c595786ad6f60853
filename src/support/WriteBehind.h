// Writes a file's bytes on a thread of its own while the caller produces the
// next ones. The caller's bytes are copied into the filling one of two
// buffers; a full buffer goes to the thread, which writes it while the other
// fills, so inflating and writing overlap. When the thread or its buffers
// cannot be had, every Write writes at once.
//
// Windows only.
#pragma once

#include <windows.h>

#include <cstddef>

#include "support/Handles.h"

class TWriteBehind {
public:
  static constexpr size_t KBufferSize = 1 << 20;
  TWriteBehind();
  ~TWriteBehind();
  TWriteBehind(const TWriteBehind&) = delete;
  TWriteBehind& operator=(const TWriteBehind&) = delete;

  // Starts a file; `file` stays open and unused by the caller until Finish.
  void Begin(HANDLE file);
  // Queues bytes for the file. Once a write failed, the rest is dropped.
  void Write(const char* bytes, size_t count);
  // Writes what is queued and waits for it: false when a write of the file
  // failed. The caller may close the file after it.
  bool Finish();

private:
  static DWORD WINAPI Run(void* self);
  void WriteOut(const unsigned char* bytes, size_t count);
  void Hand();  // passes the filling buffer to the thread
  void Wait();  // until the thread has written what it holds

  unsigned char* FBuffers[2] = {nullptr, nullptr};
  int FFilling = 0;
  size_t FFill = 0;
  HANDLE FFile = nullptr;
  THandle FThread, FWork, FDone;
  // Shared with the thread: set before FWork is signalled, read after
  // FDone is; the events order the accesses.
  const unsigned char* FPending = nullptr;
  size_t FPendingSize = 0;
  bool FStop = false;
  bool FFailed = false;
  bool FBusy = false;  // the thread holds a buffer (caller's side only)
};
