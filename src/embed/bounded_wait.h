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

// Calls into another process's windows (sends, SetParent, style and placement calls) wait for that
// process's thread, which may be busy or hung. Each such call is made here: on a worker that stays a
// moment for the next calls (a hand-off's come in a row), while the calling thread waits at most
// timeoutMs and keeps answering. Calls not done by then go on on their worker until the window's
// thread gets to them, so they must own or share everything they use.
enum class CallEnd { Done, Ended, NotAnswered };  // NotAnswered also when stopped or not started
// The viewer's thread dispatches every message while a launch or a hand-off waits; while a viewer is
// destroyed, and on threads of our own, sent messages are answered.
enum class WhileWaiting { DispatchMessages, AnswerSentMessages };

struct CallBound {
    DWORD timeoutMs = 0;
    WhileWaiting waiting = WhileWaiting::DispatchMessages;
    HANDLE process = nullptr;    // the window's process, when known: the wait ends (Ended) when it does
    const bool* stop = nullptr;  // the wait ends once *stop is true
};

CallEnd CallIntoWindows(std::function<void()> calls, const CallBound& bound);
// Starts calls the same way without waiting for them; the handle is signalled once they returned.
// Empty when they could not be started.
UniqueHandle StartWindowCalls(std::function<void()> calls);
// Waits for calls started so, as CallIntoWindows waits; may wait again after NotAnswered.
CallEnd WaitForWindowCalls(HANDLE calls, const CallBound& bound);

// Waits until every worker has finished its task, at most timeoutMs. For tests and orderly ends.
bool WaitForWorkerThreads(DWORD timeoutMs);
