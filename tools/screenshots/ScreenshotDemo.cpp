// Shows one of the program's windows for the screenshots in docs/: when the
// window stands, prints "RECT <left> <top> <width> <height>" and keeps it
// open until the file <done-file> exists.
//
//   ui_demo.exe <error|attention|question|rtl|main|inform> <done-file>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "startup/StubWin.h"
#include "ui/KMsgBox.h"
#include "ui/StubInformDlg.h"

namespace {

std::string GKind;
std::string GDoneFile;
HWND GShown = nullptr;

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Report(HWND w) {
  RECT r;
  GetWindowRect(w, &r);
  std::printf("RECT %ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
  std::fflush(stdout);
}

// Thread timer: reports the window once it stands, closes it once the
// screenshot is taken.
void CALLBACK Watch(HWND, UINT, UINT_PTR id, DWORD) {
  if (!GShown) {
    HWND w = GKind == "main"
                 ? MainWindow
                 : FindWindowA(GKind == "inform" ? InformClassName : "KMsgBox", nullptr);
    if (w && IsWindowVisible(w)) {
      GShown = w;
      RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      Report(w);
    }
    return;
  }
  if (!Exists(GDoneFile)) return;
  KillTimer(nullptr, id);
  PostMessageA(GShown, WM_CLOSE, 0, 0);
  if (GKind == "main") PostMessageA(GShown, WM_CLOSE, 0, 0);
}

void MainTick() {
  StopMainTimer();
  SetStatusText("Extracting Files...", "Tahoma", 8, 0);
  ExtractProgress(0, 0, 10, 0, 1, "");
  for (int i = 0; i < 7; ++i) ExtractProgress(1, 0, 0, 0, 0, "");
  ShowWindow(ActivityBar, SW_SHOW);
  ShowWindow(MainWindow, SW_SHOW);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  GKind = argv[1];
  GDoneFile = argv[2];
  SetTimer(nullptr, 0, 100, Watch);

  if (GKind == "error") {
    ShowError(0, "Bad CRC!<P>This indicates that your setup file might be corrupted...");
  } else if (GKind == "attention") {
    ShowAttention(1, "Please insert <B>DISK #2</B> and press OK to continue",
                  "Korvix Installation Suite");
  } else if (GKind == "question") {
    AskYesNo(0,
             "Korvix entpackt die Dateien auf Ihr Temp-Laufwerk (C:)<P><P>"
             "Gesch\xE4tzter Platzbedarf: <T>  12 MB<P>"
             "Freier Platz: <T>  2048 MB<P><P><B>Setup fortsetzen?</B>",
             "Best\xE4tigen", 0, "|&OK|&Abbrechen|&Ja|&Nein|&Abbruch|&Wiederholen|&Ignorieren|");
  } else if (GKind == "rtl") {
    SetMsgBoxFont("Tahoma", 8, 177);
    // Hebrew in code page 1255: "Continue with setup?"
    AskOkCancel(1, "\xE4\xEE\xF9\xEA \xE4\xFA\xF7\xF0\xE4?<P><B>Korvix</B> 1.0", "Korvix",
                HEBREW_CHARSET,
                "|\xE0\xE9\xF9\xE5\xF8|\xE1\xE9\xE8\xE5\xEC|&Yes|&No|&Abort|&Retry|&Ignore|");
  } else if (GKind == "main") {
    OnSetupTick = MainTick;
    RunStubWinMain(GetModuleHandleA(nullptr), "KorvixScreenshotMain", false);
  } else if (GKind == "inform") {
    ShowInform(nullptr, "New Version", "Download", 0, 8, "Tahoma", false, 300, 440,
               "https://www.example.com/news",
               "{\\rtf1\\ansi{\\fonttbl{\\f0 Verdana;}}\\f0\\fs20 {\\b\\fs24 Korvix 2.1 is "
               "available}\\par\\par What is new:\\par - setups extract faster\\par - downloads "
               "resume where they stopped\\par - messages in Hebrew and Arabic\\par\\par Press "
               "{\\b Download} for the full story.}");
  } else {
    return 2;
  }
  return 0;
}
