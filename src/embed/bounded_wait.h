#pragma once
// Waits on the viewer's thread. The host's thread must keep taking its user's input while a launch
// or a hand-off waits for an editor, so those waits dispatch every message of the thread (input,
// paint, posted messages, the capture's window events); a request for a viewer that arrives
// meanwhile waits its turn in the request registry. Waits inside an editor's shutdown, which runs
// while a viewer is being destroyed, only answer sent messages (a stand-alone viewer's low-level
// mouse hook lives on this thread). Each stops early once *stop becomes true (the viewer was
// destroyed meanwhile).

#include <windows.h>

#include <functional>

#include "common/handles.h"

enum class WaitResult { Signaled, TimedOut, Stopped, Failed };

// Waits up to timeoutMs for handle to be signalled; with a null handle, simply lets the time pass.
WaitResult WaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs, const bool* stop = nullptr);
// The same, dispatching every message. A WM_QUIT met meanwhile is posted again for the thread's own
// loop, and the rest of the wait answers sent messages only.
WaitResult WaitDispatchingMessages(HANDLE handle, DWORD timeoutMs, const bool* stop = nullptr);
// Dispatches the messages waiting now (a bounded number of them); false when a WM_QUIT came (it is
// posted again).
bool DispatchPendingMessages();

// WaitForInputIdle while dispatching messages; returns what WaitForInputIdle would (0,
// WAIT_TIMEOUT or WAIT_FAILED). When stopped early it returns WAIT_TIMEOUT. WaitForInputIdle is
// called once, on a worker thread, with the whole bound (Wine leaves an event handle behind per call).
DWORD WaitForInputIdleDispatchingMessages(HANDLE process, DWORD timeoutMs, const bool* stop);

// Starts task on a short-lived thread that keeps this module loaded until the task returns, so
// that unloading the library cannot take the code from under it. The task must own or share
// everything it uses: its starter may stop waiting for it. Empty handle when no thread started.
UniqueHandle StartWorker(std::function<void()> task);

// Runs task on a worker and waits for it at most timeoutMs, answering sent messages meanwhile.
// For calls into another process's window, which wait for that process's thread to answer.
// True when the task finished in time; false when it did not (it keeps running on its own) or
// could not be started.
bool RunBounded(std::function<void()> task, DWORD timeoutMs);
// The same, dispatching every message meanwhile (for the waits of a launch or a hand-off).
bool RunBoundedDispatchingMessages(std::function<void()> task, DWORD timeoutMs, const bool* stop = nullptr);

// The same on a worker that stays a moment for the next task (a hand-off's sends come in a row);
// another one starts when none is free.
bool RunOnReusedWorkerDispatchingMessages(std::function<void()> task, DWORD timeoutMs,
                                          const bool* stop = nullptr);

// Waits until every worker has finished its task, at most timeoutMs. For tests and orderly ends.
bool WaitForWorkerThreads(DWORD timeoutMs);
