// The rich message box: every question, warning and error of the program.
// A modal top-level window with a coloured band and an icon on the left, a
// read-only rich-edit control with the text (line breaks, tabs and bold
// spans of the mini mark-up, the language's font, right-to-left for Hebrew
// and Arabic) and up to three translated push buttons along the bottom. The
// box sizes itself to the text. One box at a time.
//
// Owner code: 0 no owner window, the caption is repeated as a bold first line
// of the text; 1 no owner window; 2 as 1 with the Close item of the window
// menu disabled; 3 or more: the owner window's handle. For 0 to 2 the owner
// is the window active when the box opens.
//
// Button texts: a self-delimited list of seven captions (OK, Cancel, Yes,
// No, Abort, Retry, Ignore); empty means "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|".
// The charset argument only decides right-to-left display (177, 178); the
// font uses the character set given to SetMsgBoxFont.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>

const char* const KMsgBoxClassName = "KMsgBox";
// Disables the Close item of the window menu (private flag bit).
const unsigned MB_NOCLOSE = 0x10000000;

// Font of all later boxes; a size of 0 keeps the current size.
void SetMsgBoxFont(const std::string& faceName, int size, int charset);

// The common path: shows one box and returns the result code (IDOK ...
// IDNO), 0 when the box was closed without a button.
int MsgBox(intptr_t ownerCode, const std::string& text, const std::string& caption, unsigned flags,
           int charset, const std::string& buttonTexts);

// Wrappers: an empty caption gives "Error", "Attention" or "Confirm".
void ShowError(intptr_t ownerCode, const std::string& text, const std::string& caption = "",
               int charset = 0, const std::string& buttonTexts = "");
void ShowAttention(intptr_t ownerCode, const std::string& text, const std::string& caption = "",
                   int charset = 0, const std::string& buttonTexts = "");
// True for Yes (6) / OK (1); closing the box without a button is "no".
bool AskYesNo(intptr_t ownerCode, const std::string& text, const std::string& caption = "",
              int charset = 0, const std::string& buttonTexts = "");
bool AskOkCancel(intptr_t ownerCode, const std::string& text, const std::string& caption = "",
                 int charset = 0, const std::string& buttonTexts = "");

// Size of `text` (CR LF separated, mark-up already converted) in the box
// font: widest line + 10, at most 600; line height per started 600 pixels of
// each line.
SIZE MeasureMsgBoxText(const std::string& text);
#endif

// Portable parts of the box's text handling.

// A bold span of the final text, 0-based [Start, End).
struct TBoldSpan {
  int Start;
  int End;
};

// The caption line of owner code 0: the caption upper-cased when it occurs in
// "|Error|Attention|Confirm|".
std::string CaptionLine(const std::string& caption);

// Removes "<B>" and "</B>" (any case) from `text`, recording the spans that a
// "<B>" opens and the next "</B>" closes; an unclosed "<B>" is dropped.
std::string ExtractBoldSpans(const std::string& text, std::vector<TBoldSpan>& spans);

// Button set of the flags (bits 0-3): the caption item and result code of
// each button, left to right. Returns the number of buttons (0 to 3).
int MsgBoxButtons(unsigned flags, int items[3], int results[3]);
