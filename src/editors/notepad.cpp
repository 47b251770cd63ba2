#include "editors/editor_profile.h"

// Notepad3 and Notepad4 copy the path into 260 units and open an empty document for a longer one.
constexpr size_t kNotepadPathCapacity = 260;

// "/n": a window of this process only. Without it, the user's "reuse window" or "single file
// instance" setting makes the new process hand the file to the user's own window and exit.
const EditorProfile kNotepad3Profile = {
    EditorKind::Notepad3,                                        // kind
    L"notepad3.exe",                                             // fileName
    L" /n",                                                      // switches
    CaptureMethod::Hook,                                         // capture
    WindowSearch::LargestOfProcess,                              // windowSearch
    false,                                                       // collectsExistingFrames
    true,                                                        // exitEndsSearch
    true,                                                        // moveOnlyResize
    false,                                                       // sizeAfterReparent
    false,                                                       // focusesFrame
    HandOffMethod::Notepad3Record,                               // handOff
    L"[LoadFile] LoadFile (Notepad3 WM_COPYDATA) return 1\r\n",  // handOffLine
    UnsavedSignal::ScintillaModify,                              // unsaved
    kNotepadPathCapacity,                                        // pathCapacity
    true,                                                        // shortensLongPaths
    VersionGuard::None,                                          // versionGuard
};

// Other Notepad4 builds read the path elsewhere in the record, find it empty and open a modal
// Open dialog inside our send: hence the version guard.
const EditorProfile kNotepad4Profile = {
    EditorKind::Notepad4,                                        // kind
    L"notepad4.exe",                                             // fileName
    L" /n",                                                      // switches
    CaptureMethod::Hook,                                         // capture
    WindowSearch::LargestOfProcess,                              // windowSearch
    false,                                                       // collectsExistingFrames
    true,                                                        // exitEndsSearch
    true,                                                        // moveOnlyResize
    false,                                                       // sizeAfterReparent
    false,                                                       // focusesFrame
    HandOffMethod::Notepad4Record,                               // handOff
    L"[LoadFile] LoadFile (Notepad4 WM_COPYDATA) return 1\r\n",  // handOffLine
    UnsavedSignal::ScintillaModify,                              // unsaved
    kNotepadPathCapacity,                                        // pathCapacity
    true,                                                        // shortensLongPaths
    VersionGuard::Notepad4RecordLayout,                          // versionGuard
};
