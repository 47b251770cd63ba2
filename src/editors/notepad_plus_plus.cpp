#include "editors/editor_profile.h"

// Notepad++ lays its panes out again only on a WM_SIZE of its own, and answers a WM_COPYDATA it
// ignores (its builds since August 2026 take it only from another Notepad++) as readily as one it
// shows: only its title tells them apart. Its frame keeps a focus it is given. Its doOpen refuses a
// path of MAX_PATH - 1 units or more, by command line, WM_COPYDATA or NPPM_DOOPEN alike.
// clang-format off
const EditorProfile kNotepadPPProfile = {
    EditorKind::NotepadPlusPlus, L"Notepad++", L"notepad++.exe", L" -multiInst -nosession",
    {CaptureMethod::Hook, WindowSearch::LargestOfProcess, nullptr, false, true},
    {true, true, FocusTarget::ActiveTextView}, {kMaxPathUnits - 1, false, 0, false},
    {HandOffMethod::NotepadPPPath, UnsavedSignal::TitleMarkOrModify, VersionGuard::None},
    SavedSettings::PrivateFolderSwitch,
};
// clang-format on
