// Diagnostic output: the debug output device (chunks of at most 128 bytes
// delivered to a debug-viewer window of class ".KDebug." and/or the file
// C:\ProgramData\_kdebug.txt), the exception-line formatter and the agent log
// "X_<program>.log" next to the program.
//
// Portable: on Windows the chunks go to the viewer/file as selected by
// KDebugTarget; in a native build they are dropped, or written to standard
// error when the environment variable KORVIX_DEBUG_STDERR is "1". A sink set
// with SetDebugSink receives every chunk instead (tests, other front ends).
// Every operation here is best-effort: failures are swallowed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

// Where flushed chunks go: 0 viewer, 1 file, 2 both, 3 and above nowhere.
// Fixed when the program is built.
#ifndef KORVIX_DEBUG_TARGET
#define KORVIX_DEBUG_TARGET 0
#endif
constexpr std::uint8_t KDebugTarget = KORVIX_DEBUG_TARGET;
// First message parameter of every chunk sent to the viewer.
constexpr std::uint16_t KDebugSourceId = 1;
// Size of the device buffer: a chunk never exceeds it.
constexpr std::size_t KDebugBufferSize = 128;
// Names of the viewer protocol.
constexpr const char* KDebugViewerClass = ".KDebug.";
constexpr const char* KDebugMessageName = ".K_DebugMsg.";
// File of the file target.
constexpr const char* KDebugFilePath = "C:\\ProgramData\\_kdebug.txt";

// Sets up the device (lock, registered message). Safe to call more than
// once; the first write sets it up as well.
void InitDebugOutput();

// Appends text to the device without ending the line (flushes only full
// buffers).
void DebugWrite(const std::string& text);
// Writes the text and one LF, then flushes what is pending.
void DebugLine(const std::string& line);

// Item formatting for the multi-item DebugLine: numbers in decimal, Booleans
// "TRUE"/"FALSE", texts unchanged.
inline void DebugPiece(std::string& out, const std::string& v) {
  out += v;
}
inline void DebugPiece(std::string& out, const char* v) {
  if (v) out += v;
}
inline void DebugPiece(std::string& out, char v) {
  out += v;
}
inline void DebugPiece(std::string& out, bool v) {
  out += v ? "TRUE" : "FALSE";
}
void DebugPiece(std::string& out, long long v);
void DebugPiece(std::string& out, unsigned long long v);
inline void DebugPiece(std::string& out, int v) {
  DebugPiece(out, static_cast<long long>(v));
}
inline void DebugPiece(std::string& out, long v) {
  DebugPiece(out, static_cast<long long>(v));
}
inline void DebugPiece(std::string& out, unsigned v) {
  DebugPiece(out, static_cast<unsigned long long>(v));
}
inline void DebugPiece(std::string& out, unsigned long v) {
  DebugPiece(out, static_cast<unsigned long long>(v));
}

// DebugLine(GetCurrentProcessId(), " ==== STUB START ====> ", cmd, "<")
template <typename... Items>
void DebugLine(const Items&... items) {
  std::string line;
  (DebugPiece(line, items), ...);
  DebugLine(line);
}

// Hands one flushed chunk to the targets KDebugTarget selects. Only the device
// calls it.
void WriteDebugText(const std::string& chunk);
// The same with an explicit target and file (KDebugTarget and KDebugFilePath in
// the program; tests pass their own).
void WriteDebugTextTo(unsigned target, const std::string& chunk, const std::string& filePath);
// The file target's copy of a chunk: CR LF, lone CR, lone LF and NUL all
// become CR LF.
std::string NormalizeDebugLineEnds(const std::string& text);

// A sink receives every flushed chunk instead of the targets while it is set.
// Returns the previous sink; nullptr restores normal delivery.
using TDebugSink = void (*)(const std::string& chunk);
TDebugSink SetDebugSink(TDebugSink sink);

// " --- " then " [ Method = m ] ", " [ Remark = r ] ", " [ ErrMsg = e ] " for
// the non-empty fields, written with DebugLine.
void LogException(const std::exception& e, const std::string& method,
                  const std::string& remark = std::string());
void LogExceptionText(const std::string& message, const std::string& method,
                      const std::string& remark = std::string());
std::string ExceptionLine(const std::string& message, const std::string& method,
                          const std::string& remark);

// Agent log: off until start-up enables it.
void SetAgentLogEnabled(bool on);
bool AgentLogEnabled();
// Three characters after the thread id: "   " by default, " X " in a
// transient copy.
void SetAgentLogPrefix(const std::string& prefix);
// Folder of the program + "X_" (unless the name already starts with it) +
// name with extension ".log"; computed on the first call, then cached.
std::string GetAgentLogPath();
// The same rule for any program path (either separator).
std::string AgentLogPathFor(const std::string& programPath);
// One line without its CR LF: date-time, blank, thread id right-aligned to
// width 5, prefix, message.
std::string AgentLogLine(const std::string& dateTime, unsigned long threadId,
                         const std::string& prefix, const std::string& message);
// Appends one time-stamped line (and CR LF) when the agent log is enabled.
void AgentLog(const std::string& message);
