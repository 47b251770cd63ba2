#include "viewer/request_registry.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "common/handles.h"
#include "log/log.h"
#include "viewer/load_file.h"

namespace {

using PendingRequest = ViewerState::PendingRequest;

struct ActiveRequest {
    ViewerState* state;
    DWORD threadId;
    bool hookCapture;  // its launch uses the process-wide capture state
};

struct DeferredViewer {
    HWND viewer;
    ViewerState* state;
};

SRWLOCK requestsLock = SRWLOCK_INIT;
std::vector<ActiveRequest> activeRequests;
std::vector<DeferredViewer> deferredViewers;

void ForgetDeferredLocked(const ViewerState* state) {
    deferredViewers.erase(std::remove_if(deferredViewers.begin(), deferredViewers.end(),
                                         [state](const DeferredViewer& d) { return d.state == state; }),
                          deferredViewers.end());
}

// A request waits while its own viewer is busy, while any request runs below it on this thread
// (it would run inside that one's wait), and while a hook-based capture runs anywhere (one at a time).
bool MustWaitLocked(const ViewerState& state) {
    const DWORD thread = GetCurrentThreadId();
    return std::any_of(activeRequests.begin(), activeRequests.end(), [&](const ActiveRequest& a) {
        return a.state == &state || a.threadId == thread || a.hookCapture;
    });
}

// A viewer whose own request runs gets its pending one when that returns; any other is woken
// by a message once the requests it waits for have ended.
void ListDeferredLocked(HWND viewer, ViewerState& state) {
    const bool ownRequestRunning = std::any_of(activeRequests.begin(), activeRequests.end(),
                                               [&](const ActiveRequest& a) { return a.state == &state; });
    const bool listed = std::any_of(deferredViewers.begin(), deferredViewers.end(),
                                    [&](const DeferredViewer& d) { return d.state == &state; });
    if (!ownRequestRunning && !listed) deferredViewers.push_back({viewer, &state});
}

void TakePendingLocked(ViewerState& state, PendingRequest& request, std::wstring& path) {
    request = std::exchange(state.pending, PendingRequest::None);
    path = std::move(state.pendingPath);
    state.pendingPath.clear();
}

}  // namespace

bool DeferIfBusy(HWND viewer, ViewerState& state, PendingRequest request, const wchar_t* path) {
    ScopedExclusiveLock lock(requestsLock);
    if (state.work == ViewerState::Work::None && !MustWaitLocked(state)) return false;
    state.pending = request;
    state.pendingPath = path ? path : L"";
    ListDeferredLocked(viewer, state);
    return true;
}

bool TakeRunnablePending(HWND viewer, ViewerState& state, PendingRequest& request, std::wstring& path) {
    ScopedExclusiveLock lock(requestsLock);
    if (MustWaitLocked(state)) {
        ListDeferredLocked(viewer, state);
        return false;
    }
    ForgetDeferredLocked(&state);
    TakePendingLocked(state, request, path);
    return true;
}

void ForgetDeferred(const ViewerState* state) {
    ScopedExclusiveLock lock(requestsLock);
    ForgetDeferredLocked(state);
}

bool IsActive(const ViewerState* state) {
    ScopedExclusiveLock lock(requestsLock);
    return std::any_of(activeRequests.begin(), activeRequests.end(),
                       [state](const ActiveRequest& a) { return a.state == state; });
}

ActiveRequestScope::ActiveRequestScope(ViewerState& state) : state_(&state) {
    ScopedExclusiveLock lock(requestsLock);
    activeRequests.push_back({state_, GetCurrentThreadId(), false});
}

ActiveRequestScope::~ActiveRequestScope() {
    std::vector<DeferredViewer> wakeUp;
    {
        ScopedExclusiveLock lock(requestsLock);
        auto own = std::find_if(activeRequests.begin(), activeRequests.end(),
                                [this](const ActiveRequest& a) { return a.state == state_; });
        if (own != activeRequests.end()) activeRequests.erase(own);
        wakeUp.swap(deferredViewers);
    }
    for (const DeferredViewer& deferred : wakeUp) {
        if (!PostMessageW(deferred.viewer, kRunPendingRequestMessage, 0, 0)) {
            LogPrintf(L"[LoadFile] could not wake viewer 0x%p (err=%lu)", deferred.viewer, GetLastError());
        }
    }
}

void ActiveRequestScope::SetHookCapture(bool hookCapture) {
    ScopedExclusiveLock lock(requestsLock);
    for (ActiveRequest& a : activeRequests) {
        if (a.state == state_) a.hookCapture = hookCapture;
    }
}
