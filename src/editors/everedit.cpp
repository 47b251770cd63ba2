#include "editors/editor_profile.h"

// clang-format off
const EditorProfile kEverEditProfile = {
    EditorKind::EverEdit, L"EverEdit", L"everedit.exe", L" -i",
    {CaptureMethod::Polling, WindowSearch::EverEditClass, L"EverEdit", false, true},
    {false, false, FocusTarget::TextControl}, {0, false, 0, false},
    {HandOffMethod::FileDrop, UnsavedSignal::None, VersionGuard::None},
};
// clang-format on
