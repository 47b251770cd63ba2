#include "editors/editor_profile.h"

// A single-process EmEditor hands the file to a frame of the user's own process and ends the one
// we started: its frame is the one that was not there before, whatever process it belongs to.
// clang-format off
const EditorProfile kEmEditorProfile = {
    EditorKind::EmEditor, L"EmEditor", L"emeditor.exe", L" /sp",
    {CaptureMethod::Polling, WindowSearch::NewEmEditorFrame, L"EmEditorMainFrame3", true, false},
    {false, false, FocusTarget::Frame}, {0, false, 0, false},
    {HandOffMethod::EmEditorRecord, UnsavedSignal::None, VersionGuard::None},
};
// clang-format on
