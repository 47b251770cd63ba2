#include "editors/editor_profile.h"

// Notepad++ drops a path of this many units or more whoever sends it.
constexpr size_t kNotepadPPPathCapacity = 260;

// Notepad++ lays its panes out again only on a WM_SIZE of its own, and answers a hand-off it
// ignores as readily as one it shows: only its title tells them apart.
const EditorProfile kNotepadPPProfile = {
    EditorKind::NotepadPlusPlus,                                  // kind
    L"notepad++.exe",                                             // fileName
    L" -multiInst -nosession",                                    // switches
    CaptureMethod::Hook,                                          // capture
    WindowSearch::LargestOfProcess,                               // windowSearch
    false,                                                        // collectsExistingFrames
    true,                                                         // exitEndsSearch
    true,                                                         // moveOnlyResize
    true,                                                         // sizeAfterReparent
    false,                                                        // focusesFrame
    HandOffMethod::NotepadPPPath,                                 // handOff
    L"[LoadFile] LoadFile (Notepad++ WM_COPYDATA) return 1\r\n",  // handOffLine
    UnsavedSignal::TitleMarkOrModify,                             // unsaved
    kNotepadPPPathCapacity,                                       // pathCapacity
    false,                                                        // shortensLongPaths
    VersionGuard::None,                                           // versionGuard
};
