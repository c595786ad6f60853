// Write-behind of extracted files.
#include "support/WriteBehind.h"

#include <cstdlib>
#include <cstring>

TWriteBehind::TWriteBehind() {
  FBuffers[0] = static_cast<unsigned char*>(std::malloc(KBufferSize));
  FBuffers[1] = static_cast<unsigned char*>(std::malloc(KBufferSize));
  FWork.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  FDone.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (FBuffers[0] && FBuffers[1] && FWork && FDone)
    FThread.Reset(
        CreateThread(nullptr, 256 * 1024, Run, this, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
}

TWriteBehind::~TWriteBehind() {
  if (FThread) {
    Wait();
    FStop = true;
    SetEvent(FWork.Get());
    WaitForSingleObject(FThread.Get(), INFINITE);
  }
  std::free(FBuffers[0]);
  std::free(FBuffers[1]);
}

DWORD WINAPI TWriteBehind::Run(void* self) {
  TWriteBehind& w = *static_cast<TWriteBehind*>(self);
  for (;;) {
    WaitForSingleObject(w.FWork.Get(), INFINITE);
    if (w.FStop) return 0;
    w.WriteOut(w.FPending, w.FPendingSize);
    SetEvent(w.FDone.Get());
  }
}

void TWriteBehind::WriteOut(const unsigned char* bytes, size_t count) {
  while (!FFailed && count > 0) {
    DWORD done = 0;
    if (!WriteFile(FFile, bytes, static_cast<DWORD>(count), &done, nullptr) || done == 0)
      FFailed = true;
    bytes += done;
    count -= done;
  }
}

void TWriteBehind::Begin(HANDLE file) {
  Wait();
  FFile = file;
  FFill = 0;
  FFailed = false;
}

void TWriteBehind::Write(const char* bytes, size_t count) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes);
  if (!FThread) {
    WriteOut(p, count);
    return;
  }
  while (count > 0) {
    const size_t take = count < KBufferSize - FFill ? count : KBufferSize - FFill;
    std::memcpy(FBuffers[FFilling] + FFill, p, take);
    FFill += take;
    p += take;
    count -= take;
    if (FFill == KBufferSize) Hand();
  }
}

bool TWriteBehind::Finish() {
  if (FThread && FFill > 0) Hand();
  Wait();
  return !FFailed;
}

void TWriteBehind::Hand() {
  Wait();
  if (!FFailed) {
    FPending = FBuffers[FFilling];
    FPendingSize = FFill;
    FBusy = true;
    SetEvent(FWork.Get());
    FFilling ^= 1;
  }
  FFill = 0;
}

void TWriteBehind::Wait() {
  if (!FBusy) return;
  WaitForSingleObject(FDone.Get(), INFINITE);
  FBusy = false;
}
