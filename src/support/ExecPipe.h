// Waiting with a live message queue, running a hidden console program with
// its output captured, and opening documents through the shell.
//
// Portable: in a native build the pump has no queue and only sleeps.
#pragma once

#include <string>

// Handles every waiting message of this thread's queue, then sleeps sleepMs
// (0 yields). An exception (std::exception) escaping a message handler is
// logged as "YieldX" and the pump returns without its sleep.
void PumpMessages(unsigned sleepMs);

// Returns after totalMs, pumping all the time; intervalMs 0 means totalMs/10
// limited to 1..25. Pumps at least once.
void WaitPumping(unsigned intervalMs, unsigned totalMs);
// The interval WaitPumping uses.
unsigned PumpInterval(unsigned intervalMs, unsigned totalMs);

// Returns when no top-level window with that class and title exists (an empty
// class or title matches any). No time limit. Native: returns at once.
void WaitWindowGone(const std::string& className, const std::string& title);

// The command line RunCaptured starts: the program quoted when it has a blank
// and no quote, then " " + parameters when there are any.
std::string CapturedCommandLine(const std::string& program, const std::string& parameters);

#ifdef _WIN32
// Runs a program with three pipes at idle priority and collects its standard
// output and error (OEM text converted to ANSI). exitCode is 21 and errors
// holds the command line and the system's error text when the start fails.
// True when the exit code is 0.
bool RunCaptured(const std::string& program, const std::string& parameters, int showWindow,
                 unsigned waitAfterMs, std::string& output, std::string& errors,
                 unsigned long& exitCode);

// Opens a file or link with the shell's default verb; true when the shell
// reports success.
bool ShellOpen(const std::string& file, const std::string& parameters, int showWindow);
#endif
