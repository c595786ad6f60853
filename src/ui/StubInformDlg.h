// The inform dialog: a news page in a resizable window. A read-only rich-edit
// control holds the page; when the page comes with a link, a strip along the
// bottom carries one button that opens the link with the shell and closes the
// dialog. A link without a page is opened at once, without a window. One
// dialog at a time; it runs a modal loop of its own, which also serves the
// owner's other windows.
//
// Windows only.
#pragma once

#include <windows.h>

#include <string>

const char* const InformClassName = "KRichEditBox";

// Shows `page` (plain or rich text, put into the control unchanged) under
// `title` in a window of width x height pixels centred on the screen (kept
// between a small minimum and the screen size), until the user closes it with
// the window's Close, Alt+F4 or Escape, or with the link button
// (`buttonCaption`), which opens the trimmed `link` first. The button's font
// is fontName at fontSize points in `charset`; the page uses "Verdana" unless
// fontName names another face than "Tahoma". rightToLeft right-aligns the
// page and reads it right to left.
//
// Returns true when the dialog was shown, or, for an empty page, when the
// shell opened the link; false for an empty page and link, a link the shell
// could not open, or while another inform dialog is open.
bool ShowInform(HWND owner, const std::string& title, const std::string& buttonCaption, int charset,
                int fontSize, const std::string& fontName, bool rightToLeft, int height, int width,
                const std::string& link, const std::string& page);
