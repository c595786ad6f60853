// Progress object: long transfers report range, steps and caption through a
// TProgBar, which turns each report into one call of the event procedure it
// was created with, letting the windows run before and after each call.
//
// Event procedure parameters, in order: kind (0 set up, 1 step), reserved
// (0), maximum, position, step, text.
//   SetRange(position, maximum)  -> (0, 0, maximum, position, 1, "")
//   StepText(text)               -> (1, 0, 0, 0, 0, text)
//   Finish()                     -> (0, 0, 0, 0, 1, "")
// SetCaption reaches no event procedure.
#pragma once

#include <cstdint>
#include <string>

typedef void (*TProgressEvent)(int kind, int reserved, int64_t maximum, int64_t position, int step,
                               const std::string& text);

class TProgBar {
public:
  explicit TProgBar(TProgressEvent eventProc);  // Create
  ~TProgBar();                                  // sends Finish
  TProgBar(const TProgBar&) = delete;
  TProgBar& operator=(const TProgBar&) = delete;

  void SetRange(int64_t position, int64_t maximum);
  void StepText(const std::string& text);
  void SetCaption(const std::string& text);
  void Finish();
  // Read by the download after every chunk: a set flag stops it without an
  // error text. The stub itself never cancels; a caller's cancel button may.
  bool Cancelled() const { return FCancelled; }
  void Cancel() { FCancelled = true; }
  const std::string& Caption() const { return FCaption; }

private:
  void Report(int kind, int64_t maximum, int64_t position, int step, const std::string& text);

  TProgressEvent FEvent;
  bool FCancelled = false;
  std::string FCaption;
};

#ifdef _WIN32
// The process-wide progress object, created on first use with the main
// window's ExtractProgress and kept for the rest of the run.
TProgBar& ProgBar();
#endif
