#include "editors/editor_profile.h"

// Any other program: started with the file alone, its largest window embedded, files dropped on it.
const EditorProfile kOtherEditorProfile = {
    EditorKind::Other,               // kind
    nullptr,                         // fileName
    L"",                             // switches
    CaptureMethod::Polling,          // capture
    WindowSearch::LargestOfProcess,  // windowSearch
    false,                           // collectsExistingFrames
    true,                            // exitEndsSearch
    false,                           // moveOnlyResize
    false,                           // sizeAfterReparent
    false,                           // focusesFrame
    HandOffMethod::FileDrop,         // handOff
    nullptr,                         // handOffLine
    UnsavedSignal::None,             // unsaved
    0,                               // pathCapacity
    false,                           // shortensLongPaths
    VersionGuard::None,              // versionGuard
};
