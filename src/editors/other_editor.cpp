#include "editors/editor_profile.h"

// Any other program: started with the file alone, its largest window embedded, files dropped on it.
// clang-format off
const EditorProfile kOtherEditorProfile = {
    EditorKind::Other, L"other", nullptr, L"",
    {CaptureMethod::Polling, WindowSearch::LargestOfProcess, nullptr, false, true},
    {false, false, FocusTarget::TextControl}, {0, false, 0, false},
    {HandOffMethod::FileDrop, UnsavedSignal::None, VersionGuard::None},
};
// clang-format on
