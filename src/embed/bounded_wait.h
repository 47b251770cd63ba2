#pragma once
// Waits on the viewer's thread that keep answering messages sent to it (a stand-alone viewer's
// low-level mouse hook lives on that thread) while posted and input messages wait. Each stops
// early once *stop becomes true (the viewer was destroyed meanwhile).

#include <windows.h>

enum class WaitResult { Signaled, TimedOut, Stopped, Failed };

// Waits up to timeoutMs for handle to be signalled; with a null handle, simply lets the time pass.
WaitResult WaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs, const bool* stop = nullptr);

// WaitForInputIdle with the same behaviour; returns what WaitForInputIdle would (0, WAIT_TIMEOUT
// or WAIT_FAILED). When stopped early it returns WAIT_TIMEOUT.
DWORD WaitForInputIdleAnsweringSentMessages(HANDLE process, DWORD timeoutMs, const bool* stop);
