// HTTP download client.
//
// The download abort flag: one process-wide flag that each downloader clears
// right before it starts and that the main window sets when it is closed or
// destroyed and when its message loop ends. A download that sees it set stops
// after the current chunk.
#pragma once

void HTTP_SetAbort(bool abort);
bool HTTP_IsAborted();
