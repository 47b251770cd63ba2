#include "editors/editor_profile.h"

// "/n": a window of this process only. Without it, the user's "reuse window" or "single file
// instance" setting makes the new process hand the file to the user's own window and exit.
// Notepad3 takes its ini from "/f"; Notepad4 has no such switch, only its recent files are put back.
// clang-format off
const EditorProfile kNotepad3Profile = {
    EditorKind::Notepad3, L"Notepad3", L"notepad3.exe", L" /n",
    {CaptureMethod::Hook, WindowSearch::LargestOfProcess, nullptr, false, true},
    {true, false, FocusTarget::TextControl}, {kMaxPathUnits, true, kQuotedArgumentPathUnits, true},
    {HandOffMethod::Notepad3Record, UnsavedSignal::ScintillaModify, VersionGuard::None},
    SavedSettings::PrivateIniSwitch,
};
// clang-format on

// Other Notepad4 builds read the path elsewhere in the record, find it empty and open a modal
// Open dialog inside our send: hence the version guard.
// clang-format off
const EditorProfile kNotepad4Profile = {
    EditorKind::Notepad4, L"Notepad4", L"notepad4.exe", L" /n",
    {CaptureMethod::Hook, WindowSearch::LargestOfProcess, nullptr, false, true},
    {true, false, FocusTarget::TextControl}, {kMaxPathUnits, true, kQuotedArgumentPathUnits, true},
    {HandOffMethod::Notepad4Record, UnsavedSignal::ScintillaModify, VersionGuard::Notepad4RecordLayout},
    SavedSettings::RecentFilesRestored, TraySetting::Notepad4MinimizeToTray,
};
// clang-format on
