#include "editors/editor_profile.h"

// A single-process EmEditor hands the file to a frame of the user's own process and ends the one
// we started: its frame is the one that was not there before, whatever process it belongs to.
const EditorProfile kEmEditorProfile = {
    EditorKind::EmEditor,                                        // kind
    L"emeditor.exe",                                             // fileName
    L" /sp",                                                     // switches
    CaptureMethod::Polling,                                      // capture
    WindowSearch::NewEmEditorFrame,                              // windowSearch
    true,                                                        // collectsExistingFrames
    false,                                                       // exitEndsSearch
    false,                                                       // moveOnlyResize
    false,                                                       // sizeAfterReparent
    true,                                                        // focusesFrame
    HandOffMethod::EmEditorRecord,                               // handOff
    L"[LoadFile] LoadFile (EmEditor WM_COPYDATA) return 1\r\n",  // handOffLine
    UnsavedSignal::None,                                         // unsaved
    0,                                                           // pathCapacity
    false,                                                       // shortensLongPaths
    VersionGuard::None,                                          // versionGuard
};
