#pragma once
// The capture of Notepad3, Notepad4 and Notepad++: an out-of-context window-event hook on the
// editor's process, whose events arrive on this thread while the capture wait dispatches its
// messages, plus an enumeration in every pass. Its state is process-wide.

#include <windows.h>

#include "editor/viewer_state.h"

void CALLBACK OnCaptureWinEvent(HWINEVENTHOOK hook, DWORD event, HWND window, LONG objectId, LONG childId,
                                DWORD eventThread, DWORD eventTime) noexcept;

// captureProcessId and capturedWindow: the process whose windows the callback takes, and the
// window it took last. SetCaptureTarget clears capturedWindow.
void SetCaptureTarget(DWORD processId);
HWND CapturedWindow();

// Only one hook-based capture may run in the process at a time: a launch that needs one holds
// this claim from before the start of the editor to its return. A launch on another thread waits
// its turn (bounded, dispatching messages); one nested in a capture of its own thread is refused.
class HookCaptureClaim {
   public:
    explicit HookCaptureClaim(bool needed);
    ~HookCaptureClaim();
    HookCaptureClaim(const HookCaptureClaim&) = delete;
    HookCaptureClaim& operator=(const HookCaptureClaim&) = delete;
    bool granted() const { return granted_; }

   private:
    bool owned_;
    bool granted_;
};

// Runs after the suspended process was created and recorded in state.
bool CaptureWithHook(HWND viewer, ViewerState& state);
