#pragma once
// Sizing the embedded editor to the viewer and giving it the keyboard focus. Calls on the
// editor's windows never wait on a hung editor.

#include <windows.h>

#include "editor/viewer_state.h"
#include "editors/editor_profile.h"
#include "embed/window_filters.h"

void ResizeEmbeddedEditor(HWND viewer, const ViewerState& state);
void FocusEditorWindow(const ViewerState& state);
// False when the editor did not answer at once: nothing was done, try again later.
bool FocusEditorContent(const ViewerState& state);

// The host's foreground window and this thread's keyboard focus, taken before a launch. Under
// Wine, making another process's window a child of ours activates it; when the editor is not to
// be focused, RestoreHostFocus gives them back if the editor's process took the foreground or
// nobody holds it, and the focus only from where the launch put it (nowhere on this thread, the
// editor's process, the viewer, or the host's window that took the activation back): the user may
// have moved it meanwhile, as the launch keeps the host's thread taking input, and it goes back
// where it was right before the embedding.
struct HostFocus {
    HWND foreground = nullptr;
    HWND focus = nullptr;
};
// viewer: the viewer whose top-level window tells whether this thread holds the foreground.
HostFocus SaveHostFocus(HWND viewer);
void RestoreHostFocus(const HostFocus& saved, HWND viewer, const ViewerState& state);
// The same after a hand-off: an editor takes the focus into its text view as it opens a file, and
// its window in ours shares our input (Notepad++ did so at every hand-off).
void RestoreHostFocusAfterHandOff(const HostFocus& saved, HWND viewer, const ViewerState& state);

// What FindFocusTarget collects over the descendants of the editor window.
struct FocusSearch {
    HWND firstScintilla = nullptr;
    HWND largest = nullptr;
    int largestArea = 0;
};
BOOL CALLBACK FindFocusTarget(HWND window, LPARAM search) noexcept;

// The editor's text control: the first visible Scintilla descendant, else the largest visible
// descendant, else the editor window (always the editor window for an editor that focuses its frame).
HWND ChooseFocusTarget(HWND editor, const EditorProfile& profile);
