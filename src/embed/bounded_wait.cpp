#include "embed/bounded_wait.h"

namespace {

// WaitForInputIdle cannot wait for sent messages too, so it is asked this often.
constexpr DWORD kInputIdlePollMs = 10;

void AnswerSentMessages() {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_QS_SENDMESSAGE | PM_NOREMOVE);
}

DWORD Remaining(DWORD start, DWORD timeoutMs) {
    DWORD elapsed = GetTickCount() - start;
    return elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
}

bool Stopped(const bool* stop) {
    return stop && *stop;
}

}  // namespace

WaitResult WaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs, const bool* stop) {
    const DWORD start = GetTickCount();
    DWORD handleCount = handle ? 1 : 0;
    for (;;) {
        if (Stopped(stop)) return WaitResult::Stopped;
        DWORD remaining = Remaining(start, timeoutMs);
        DWORD result = MsgWaitForMultipleObjects(handleCount, handle ? &handle : nullptr, FALSE, remaining,
                                                 QS_SENDMESSAGE);
        if (handle && result == WAIT_OBJECT_0) return WaitResult::Signaled;
        if (result == WAIT_OBJECT_0 + handleCount) {
            AnswerSentMessages();
            if (Remaining(start, timeoutMs) > 0) continue;
            if (Stopped(stop)) return WaitResult::Stopped;
            if (handle && WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) return WaitResult::Signaled;
            return WaitResult::TimedOut;
        }
        if (result == WAIT_TIMEOUT) return Stopped(stop) ? WaitResult::Stopped : WaitResult::TimedOut;
        return WaitResult::Failed;
    }
}

DWORD WaitForInputIdleAnsweringSentMessages(HANDLE process, DWORD timeoutMs, const bool* stop) {
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD result = WaitForInputIdle(process, 0);
        if (result != WAIT_TIMEOUT) return result;
        DWORD remaining = Remaining(start, timeoutMs);
        if (remaining == 0 || Stopped(stop)) return WAIT_TIMEOUT;
        WaitResult waited = WaitAnsweringSentMessages(
            nullptr, remaining < kInputIdlePollMs ? remaining : kInputIdlePollMs, stop);
        if (waited == WaitResult::Stopped || waited == WaitResult::Failed) return WAIT_TIMEOUT;
    }
}
