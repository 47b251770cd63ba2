#include "embed/bounded_wait.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <memory>
#include <new>
#include <utility>

#include "common/deadline.h"

namespace {

// A window that never validates its update region gets WM_PAINT again and again: a pass
// dispatches at most this many messages, so that a wait still ends at its bound.
constexpr int kMessagesPerPass = 64;

// The worker that calls WaitForInputIdle with the whole bound is given this much longer to
// report before its starter stops waiting for it.
constexpr DWORD kWorkerReportMs = 200;

// Any address inside this module names it to GetModuleHandleExW.
const char moduleAnchor = 0;

// Worker threads that have not finished their task yet.
volatile LONG runningWorkers = 0;
constexpr DWORD kWorkerPollMs = 10;

struct WorkerStart {
    std::function<void()> task;
    HMODULE module = nullptr;
};

DWORD WINAPI WorkerMain(LPVOID parameter) noexcept {
    auto* start = static_cast<WorkerStart*>(parameter);
    HMODULE module = start->module;
    try {
        start->task();
    } catch (...) {
    }
    // The task's captures are destroyed with code of this module, so before the module is let go.
    delete start;
    InterlockedDecrement(&runningWorkers);
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}

// A worker that finished its task waits this long for the next before it ends: a hand-off makes
// several sends in a row, and starting a thread costs more than a send (about 1.3 ms under Wine).
constexpr DWORD kReusedWorkerIdleMs = 500;

struct ReusedJob {
    std::function<void()> task;
    UniqueHandle done;  // manual-reset event, set once the task returned
};

SRWLOCK reuseLock = SRWLOCK_INIT;
CONDITION_VARIABLE reuseWake = CONDITION_VARIABLE_INIT;
std::deque<std::shared_ptr<ReusedJob>> reuseQueue;  // under reuseLock
int idleReusedWorkers = 0;                          // under reuseLock

void ReusedWorkerLoop() {
    AcquireSRWLockExclusive(&reuseLock);
    for (;;) {
        while (reuseQueue.empty()) {
            ++idleReusedWorkers;
            const BOOL woken = SleepConditionVariableSRW(&reuseWake, &reuseLock, kReusedWorkerIdleMs, 0);
            --idleReusedWorkers;
            if (!woken && reuseQueue.empty()) {
                ReleaseSRWLockExclusive(&reuseLock);
                return;
            }
        }
        std::shared_ptr<ReusedJob> job = std::move(reuseQueue.front());
        reuseQueue.pop_front();
        ReleaseSRWLockExclusive(&reuseLock);
        try {
            job->task();
        } catch (...) {
        }
        // Its captures go here, with this module still loaded, whether or not anyone still waits.
        job->task = nullptr;
        // Done is told under the lock: the waiter's next task then finds this worker idle.
        AcquireSRWLockExclusive(&reuseLock);
        SetEvent(job->done.get());
        job.reset();
    }
}

void DropQueuedJob(const std::shared_ptr<ReusedJob>& job) {
    ScopedExclusiveLock lock(reuseLock);
    const auto queued = std::find(reuseQueue.begin(), reuseQueue.end(), job);
    if (queued != reuseQueue.end()) reuseQueue.erase(queued);
}

void AnswerSentMessages() {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_QS_SENDMESSAGE | PM_NOREMOVE);
}

bool Stopped(const bool* stop) {
    return stop && *stop;
}

// Waits for any of count handles; *signaled gets the index of the one that was. dispatch: every
// message is dispatched until a WM_QUIT comes, then only sent messages are answered.
WaitResult WaitForAny(const HANDLE* handles, DWORD count, DWORD timeoutMs, const bool* stop, bool dispatch,
                      DWORD* signaled) {
    const Deadline deadline(timeoutMs);
    for (;;) {
        if (Stopped(stop)) return WaitResult::Stopped;
        const DWORD wake = dispatch ? QS_ALLINPUT : QS_SENDMESSAGE;
        // Input left over by a pass cut at kMessagesPerPass wakes the next one at once.
        DWORD result = MsgWaitForMultipleObjectsEx(count, count ? handles : nullptr, deadline.RemainingMs(),
                                                   wake, dispatch ? MWMO_INPUTAVAILABLE : 0);
        if (result == WAIT_OBJECT_0 + count) {
            if (dispatch) {
                dispatch = DispatchPendingMessages();
            } else {
                AnswerSentMessages();
            }
            if (!deadline.Passed()) continue;
            if (Stopped(stop)) return WaitResult::Stopped;
            if (count) result = WaitForMultipleObjects(count, handles, FALSE, 0);
        }
        if (result < WAIT_OBJECT_0 + count) {
            if (signaled) *signaled = result - WAIT_OBJECT_0;
            return WaitResult::Signaled;
        }
        if (result == WAIT_TIMEOUT || result == WAIT_OBJECT_0 + count)
            return Stopped(stop) ? WaitResult::Stopped : WaitResult::TimedOut;
        return WaitResult::Failed;
    }
}

WaitResult Wait(HANDLE handle, DWORD timeoutMs, const bool* stop, bool dispatch) {
    return WaitForAny(&handle, handle ? 1 : 0, timeoutMs, stop, dispatch, nullptr);
}

// Queues calls for a reused worker, starting one when none is idle for it; null when they could not be.
std::shared_ptr<ReusedJob> StartReusedJob(std::function<void()> calls) {
    auto job = std::make_shared<ReusedJob>();
    job->task = std::move(calls);
    job->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!job->done) return nullptr;
    bool startWorker = false;
    {
        ScopedExclusiveLock lock(reuseLock);
        try {
            reuseQueue.push_back(job);
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        // One idle worker per waiting job, else one more: a busy worker may be inside a call to an
        // editor that hangs.
        startWorker = idleReusedWorkers < static_cast<int>(reuseQueue.size());
    }
    if (!startWorker) {
        WakeConditionVariable(&reuseWake);
    } else if (!StartWorker(ReusedWorkerLoop)) {
        DropQueuedJob(job);
        return nullptr;
    }
    return job;
}

}  // namespace

CallEnd WaitForWindowCalls(HANDLE calls, const CallBound& bound) {
    if (!calls) return CallEnd::NotAnswered;
    const HANDLE handles[] = {calls, bound.process};
    DWORD signaled = 0;
    const bool dispatch = bound.waiting == WhileWaiting::DispatchMessages;
    if (WaitForAny(handles, bound.process ? 2 : 1, bound.timeoutMs, bound.stop, dispatch, &signaled) !=
        WaitResult::Signaled)
        return CallEnd::NotAnswered;
    return signaled == 0 ? CallEnd::Done : CallEnd::Ended;
}

CallEnd CallIntoWindows(std::function<void()> calls, const CallBound& bound) {
    const std::shared_ptr<ReusedJob> job = StartReusedJob(std::move(calls));
    return job ? WaitForWindowCalls(job->done.get(), bound) : CallEnd::NotAnswered;
}

UniqueHandle StartWindowCalls(std::function<void()> calls) {
    const std::shared_ptr<ReusedJob> job = StartReusedJob(std::move(calls));
    HANDLE done = nullptr;
    if (!job || !DuplicateHandle(GetCurrentProcess(), job->done.get(), GetCurrentProcess(), &done,
                                 SYNCHRONIZE, FALSE, 0))
        return UniqueHandle();
    return UniqueHandle(done);
}

WaitResult WaitAnsweringSentMessages(HANDLE handle, DWORD timeoutMs, const bool* stop) {
    return Wait(handle, timeoutMs, stop, false);
}

WaitResult WaitDispatchingMessages(HANDLE handle, DWORD timeoutMs, const bool* stop) {
    return Wait(handle, timeoutMs, stop, true);
}

bool DispatchPendingMessages() {
    MSG msg;
    for (int dispatched = 0; dispatched < kMessagesPerPass && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
         ++dispatched) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

DWORD WaitForInputIdleDispatchingMessages(HANDLE process, DWORD timeoutMs, const bool* stop) {
    // Shared with the worker, which may outlive this call when the wait is stopped early.
    auto watched = std::make_shared<UniqueHandle>(DuplicateHere(process));
    if (!*watched) return WAIT_FAILED;
    auto result = std::make_shared<std::atomic<DWORD>>(WAIT_FAILED);
    UniqueHandle worker = StartWorker(
        [watched, result, timeoutMs] { result->store(WaitForInputIdle(watched->get(), timeoutMs)); });
    if (!worker) return WAIT_FAILED;
    switch (WaitDispatchingMessages(worker.get(), timeoutMs + kWorkerReportMs, stop)) {
        case WaitResult::Signaled:
            return result->load();
        case WaitResult::Failed:
            return WAIT_FAILED;
        default:
            return WAIT_TIMEOUT;
    }
}

UniqueHandle StartWorker(std::function<void()> task) {
    auto start = std::make_unique<WorkerStart>();
    start->task = std::move(task);
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&moduleAnchor),
                            &start->module))
        return UniqueHandle();
    HMODULE module = start->module;
    InterlockedIncrement(&runningWorkers);
    HANDLE thread = CreateThread(nullptr, 0, WorkerMain, start.get(), 0, nullptr);
    if (!thread) {
        InterlockedDecrement(&runningWorkers);
        FreeLibrary(module);
        return UniqueHandle();
    }
    start.release();  // the worker owns it now
    return UniqueHandle(thread);
}

bool WaitForWorkerThreads(DWORD timeoutMs) {
    const Deadline deadline(timeoutMs);
    while (InterlockedCompareExchange(&runningWorkers, 0, 0) != 0) {
        if (deadline.Passed()) return false;
        WaitAnsweringSentMessages(nullptr, kWorkerPollMs);
    }
    return true;
}
