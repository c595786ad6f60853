// HTTP download client: the connection test, the size query and the download
// of one file, chunk by chunk, into a file or into a string, with progress
// and rate texts, the abort flag, and one error text for every failure.
//
// WinINet is bound at run time, every function from the system folder's
// wininet.dll, so a wininet.dll lying beside the setup is never loaded.
//
// A file download writes to "<destination>.<n>" (n: announced size plus the
// Last-Modified stamp) and replaces the destination only when the whole body
// arrived; an interrupted download leaves that temporary file, which the next
// download of the same destination removes. The abort flag is cleared by the
// caller right before a download and set by the main window on close and
// destroy; a download that sees it stops after the current chunk with
// "Download Aborted". It may be set from any thread.
//
// Windows only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

class TProgBar;

// Largest body a download into a string accepts (descriptors and news
// pages); a longer one ends with an error.
const uint32_t KMaxContentBytes = 8u << 20;

// True when the system reports an Internet connection; otherwise false with
// the system's error text in `message`.
bool HTTP_CheckConnection(std::string& message);
bool HTTP_IsConnected();

// The announced size of a URL (Content-Length), -1 when the URL cannot be
// opened, the server answers with a status other than 2xx or announces none.
int32_t HTTP_GetFileSize(const std::string& url);

// Downloads `url` into `destination`, or into `content` when the destination
// is empty. `error` is empty on success. `window` (> 10) is shown during the
// download; `bar` (may be null) gets the range, the file name as caption and
// one step per chunk, and its cancelled flag stops the download. With a user
// name the request goes through an explicit connection (port 80, or 443 for
// "https://"). A status other than 2xx is an error ("<name> --- Error
// downloading file (HTTP <status>)"); its body goes to `content`, also for a
// file download, so the caller can tell a server's error page.
void HTTP_DownloadFile_Incremental(HWND window, const std::string& url,
                                   const std::string& destination, std::string& error,
                                   TProgBar* bar, std::string& content, const std::string& password,
                                   const std::string& userName);
void HTTP_DownloadFile(HWND window, const std::string& url, const std::string& destination,
                       std::string& error, TProgBar* bar, std::string& content);

void HTTP_SetAbort(bool abort);
bool HTTP_IsAborted();

// Frees wininet.dll; the next call binds it again.
void HTTP_UnloadWinINet();
