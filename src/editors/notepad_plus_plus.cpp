#include "editors/editor_profile.h"

// Notepad++ lays its panes out again only on a WM_SIZE of its own, and answers a hand-off it
// ignores as readily as one it shows: only its title tells them apart.
// clang-format off
const EditorProfile kNotepadPPProfile = {
    EditorKind::NotepadPlusPlus, L"Notepad++", L"notepad++.exe", L" -multiInst -nosession",
    {CaptureMethod::Hook, WindowSearch::LargestOfProcess, nullptr, false, true},
    {true, true, false}, {kMaxPathUnits, false, 0, false},
    {HandOffMethod::NotepadPPPath, UnsavedSignal::TitleMarkOrModify, VersionGuard::None},
};
// clang-format on
