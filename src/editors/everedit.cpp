#include "editors/editor_profile.h"

const EditorProfile kEverEditProfile = {
    EditorKind::EverEdit,         // kind
    L"everedit.exe",              // fileName
    L" -i",                       // switches
    CaptureMethod::Polling,       // capture
    WindowSearch::EverEditClass,  // windowSearch
    false,                        // collectsExistingFrames
    true,                         // exitEndsSearch
    false,                        // moveOnlyResize
    false,                        // sizeAfterReparent
    false,                        // focusesFrame
    HandOffMethod::FileDrop,      // handOff
    nullptr,                      // handOffLine
    UnsavedSignal::None,          // unsaved
    0,                            // pathCapacity
    false,                        // shortensLongPaths
    VersionGuard::None,           // versionGuard
};
