// Owners of Windows handles: one small type per handle kind, each closing its
// handle when it goes out of scope, so every early return releases what was
// opened. Move but no copy; Get() hands out the raw handle, Release() gives up
// ownership.
//
// Windows only.
#pragma once

#include <windows.h>

#include <utility>

// The closing function and the "no handle" values of one handle kind.
template <typename H, BOOL(WINAPI* Close)(H)>
class TOwnedHandle {
public:
  TOwnedHandle() = default;
  explicit TOwnedHandle(H h) : FHandle(h) {}
  ~TOwnedHandle() { Reset(); }
  TOwnedHandle(TOwnedHandle&& other) noexcept : FHandle(other.Release()) {}
  TOwnedHandle& operator=(TOwnedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;

  H Get() const { return FHandle; }
  // True for a real handle (neither 0 nor INVALID_HANDLE_VALUE).
  bool Valid() const { return FHandle && FHandle != (H)INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return Valid(); }
  H Release() { return std::exchange(FHandle, H()); }
  void Reset(H h = H()) {
    if (Valid()) Close(FHandle);
    FHandle = h;
  }

private:
  H FHandle = H();
};

inline BOOL WINAPI KorvixDeleteGdiObject(HGDIOBJ h) {
  return DeleteObject(h);
}
inline BOOL WINAPI KorvixCloseKey(HKEY h) {
  return RegCloseKey(h) == ERROR_SUCCESS;
}

// Kernel handles: files, processes, threads, events, pipes, mutexes.
using THandle = TOwnedHandle<HANDLE, CloseHandle>;
// FindFirstFile handles.
using TFindHandle = TOwnedHandle<HANDLE, FindClose>;
// Fonts, brushes, pens, bitmaps.
using TGdiObject = TOwnedHandle<HGDIOBJ, KorvixDeleteGdiObject>;
// Libraries loaded with LoadLibrary / LoadSystemLibrary.
using TLibrary = TOwnedHandle<HMODULE, FreeLibrary>;
// Registry keys opened or created by this program (never the predefined roots).
using TRegKey = TOwnedHandle<HKEY, KorvixCloseKey>;
// Internet handles (sessions, connections, requests), closed through the
// InternetCloseHandle the HTTP client binds at run time (http/InetHTTP.cpp).
BOOL WINAPI KorvixCloseInternetHandle(void* handle);
using TInternetHandle = TOwnedHandle<void*, KorvixCloseInternetHandle>;

// A started process: both handles of PROCESS_INFORMATION, closed together.
struct TProcess {
  THandle Process;
  THandle Thread;
  DWORD Id = 0;

  TProcess() = default;
  explicit TProcess(const PROCESS_INFORMATION& pi)
      : Process(pi.hProcess), Thread(pi.hThread), Id(pi.dwProcessId) {}
  explicit operator bool() const { return Process.Valid(); }
};
