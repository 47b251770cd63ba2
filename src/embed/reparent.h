#pragma once
// Making a captured editor window a child of the viewer. Every call that waits for the editor's
// thread (SetParent, SetWindowLongPtrW) is made on a worker thread that the launch waits for at
// most kEmbedCallsTimeoutMs; the rest uses the asynchronous forms, so the host's thread never
// waits for the editor to size, show or paint itself, and never activates it.

#include <windows.h>

#include "common/handles.h"
#include "editor/viewer_state.h"
#include "editors/editor_profile.h"

// An editor still starting up answers these calls only once it reaches its message loop (a real
// Notepad++ under Wine took up to 4.9 s); a hung one never does.
constexpr DWORD kEmbedCallsTimeoutMs = 5000;

// Styles written to the editor's window: the extended style always before it is given its new
// parent, the plain style before (generic capture) or after (ReparentChild).
struct EmbedStyles {
    DWORD clearedStyle = 0;
    DWORD addedStyle = 0;
    DWORD clearedExStyle = 0;
    bool beforeSetParent = false;
};

// What the synchronous calls found; valid only when they finished in time.
struct EmbedReport {
    HWND oldParent = nullptr;
    DWORD setParentError = 0;  // 0 when SetParent succeeded
    DWORD oldStyle = 0;
    DWORD oldExStyle = 0;
    DesktopLook lookWhenAnswered;  // read once the editor answered the first call
};

// Writes the styles and sets the parent, bounded as above. False when the editor did not answer
// in time (the calls go on in the background until its process ends).
bool MakeEmbedCalls(HWND parent, HWND child, const EmbedStyles& styles, EmbedReport& report);
// SetParent alone, bounded the same way.
bool SetParentBounded(HWND parent, HWND child);
// Sizes the child to the parent's client area, shows it without activating it and asks it to
// repaint; none of these waits for the editor. Returns the client size in size.
void PlaceAndShow(HWND parent, HWND child, SIZE& size);

// The window's styles and placement as it stands on the desktop, before it is embedded; without
// extraExStyle (what the capture added itself) and WS_VISIBLE. Reads only, waits for nothing.
DesktopLook ReadDesktopLook(HWND window, DWORD extraExStyle);

// The hook-based capture's embedding. False when the editor did not answer within
// kEmbedCallsTimeoutMs. look gets the placement the window had once the editor answered: an editor
// that places itself after creating its window (Notepad++ creates it at 0,0 0x0) has done so by then.
bool ReparentChild(HWND parent, HWND child, const EditorProfile& profile, DesktopLook& look);

// A kept editor: hides the window at once and, by calls that are not waited for, parks it in a
// hidden window of ours (parking.h; its embedding styles stay). The calls' handle (bounded_wait.h);
// empty when they could not be started.
UniqueHandle StartHideAndDetach(HWND child);
// Puts a window that was embedded before (its styles are those of the embedding) into parent
// again and shows it, sized to parent's client area, by calls that are not waited for (they wait
// for the editor). The calls' handle; empty when they could not be started.
UniqueHandle StartEmbedAgain(HWND parent, HWND child, const EditorProfile& profile);
