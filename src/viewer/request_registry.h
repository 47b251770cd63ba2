#pragma once
// The loads and clears at work on viewers. Their waits answer messages, so requests can arrive
// meanwhile; the registry tells them to wait their turn instead of running inside one, and wakes
// the viewers that wait once a request ends. Host threads may each run viewers: it has a lock of
// its own, never held across a wait.

#include <windows.h>

#include <string>

#include "editor/viewer_state.h"

// Records request as the state's pending one (with path) and returns true when it must wait: a
// launch or a hand-off on its state runs, a request runs on its viewer or below it on this thread (it would
// run inside that one's wait), or a hook-based capture runs anywhere (one at a time).
bool DeferIfBusy(HWND viewer, ViewerState& state, ViewerState::PendingRequest request, const wchar_t* path);

// Takes the state's pending request when it may run now; otherwise lists the viewer to be woken
// and returns false.
bool TakeRunnablePending(HWND viewer, ViewerState& state, ViewerState::PendingRequest& request,
                         std::wstring& path);

void ForgetDeferred(const ViewerState* state);
bool IsActive(const ViewerState* state);

// Registers a request for its duration; when it ends, every deferred viewer is told to try again.
class ActiveRequestScope {
   public:
    explicit ActiveRequestScope(ViewerState& state);
    ActiveRequestScope(const ActiveRequestScope&) = delete;
    ActiveRequestScope& operator=(const ActiveRequestScope&) = delete;
    ~ActiveRequestScope();
    // While set, every other request waits (the hook-based capture's state is process-wide).
    void SetHookCapture(bool hookCapture);

   private:
    ViewerState* state_;
};
