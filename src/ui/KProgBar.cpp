#include "ui/KProgBar.h"

#include "support/ExecPipe.h"

#ifdef _WIN32
#include "ui/SetupView.h"
#endif

namespace {
// One pass of message handling and a short sleep, so that the windows stay
// responsive (and may set the download's abort flag) between reports.
void LetWindowsRun() {
  WaitPumping(0, 0);
}
}  // namespace

TProgBar::TProgBar(TProgressEvent eventProc) : FEvent(eventProc) {}

TProgBar::~TProgBar() {
  Finish();
}

void TProgBar::Report(int kind, int64_t maximum, int64_t position, int step,
                      const std::string& text) {
  LetWindowsRun();
  if (FEvent) FEvent(kind, 0, maximum, position, step, text);
  LetWindowsRun();
}

void TProgBar::SetRange(int64_t position, int64_t maximum) {
  Report(0, maximum, position, 1, std::string());
}

void TProgBar::StepText(const std::string& text) {
  Report(1, 0, 0, 0, text);
}

void TProgBar::Finish() {
  Report(0, 0, 0, 1, std::string());
}

void TProgBar::SetCaption(const std::string& text) {
  FCaption = text;
  LetWindowsRun();
}

#ifdef _WIN32
namespace {
void ToMainWindow(int kind, int reserved, int64_t maximum, int64_t position, int step,
                  const std::string& text) {
  if (SetupView.ExtractProgress)
    SetupView.ExtractProgress(kind, reserved, maximum, position, step, text);
}
}  // namespace

TProgBar& ProgBar() {
  // Never destroyed: its Finish would reach windows that are long gone.
  static TProgBar* bar = new TProgBar(ToMainWindow);
  return *bar;
}
#endif
