#pragma once
// Everything the plug-in knows of one editor family, in one plain record. Each family fills its
// own in a file of this folder; the launch, the embedding, the hand-off and the shutdown ask the
// record instead of testing the kind. Detected once per load and kept in the viewer's state.

#include <cstddef>
#include <string>

#include "editors/editor_kind.h"

// MAX_PATH: Notepad3 and Notepad4 copy a path into this many units and open an empty document for
// a longer one; Notepad++ opens no path of this length less one or more, whoever sends it.
constexpr size_t kMaxPathUnits = 260;
// Notepad4 copies its quoted command-line argument with the opening quote into MAX_PATH units, so a
// path of 259 units already loses its last unit there.
constexpr size_t kQuotedArgumentPathUnits = kMaxPathUnits - 1;

// How the editor's main window is found once its process runs.
enum class CaptureMethod {
    Hook,     // a window-event hook and an enumeration each pass; one such capture at a time
    Polling,  // WaitForInputIdle, then a window search every poll until the bound
};

// Which window the polling capture takes.
enum class WindowSearch {
    LargestOfProcess,  // the largest top-level window of the started process
    EverEditClass,     // a large enough EverEdit window of the started process
    NewEmEditorFrame,  // a framed EmEditor window that did not exist before the start, any process
};

// How the next file reaches an editor that is already embedded, and how its arrival is confirmed.
enum class HandOffMethod {
    Notepad3Record,  // WM_COPYDATA parameter record in Notepad3's layout; confirmed by the reply
    Notepad4Record,  // the same in Notepad4's layout
    NotepadPPPath,   // WM_COPYDATA with the quoted path; confirmed once the title names the file;
                     // NPPM_DOOPEN, confirmed by its reply, for a build that ignores WM_COPYDATA
    EmEditorRecord,  // WM_COPYDATA, confirmed by a non-zero reply; else a file drop
    FileDrop,        // WM_DROPFILES on the first window that takes drops; confirmed by the post
};

// How the editor tells that its shown document has unsaved changes, before a hand-off.
enum class UnsavedSignal {
    None,               // not asked: the hand-off leaves the document to the editor
    ScintillaModify,    // SCI_GETMODIFY of its text control; a modified editor is released
    TitleMarkOrModify,  // a mark in its title, else SCI_GETMODIFY; the document is left open
};

// The builds that may be handed files at all; the others get a fresh editor per file.
enum class VersionGuard {
    None,
    Notepad4RecordLayout,  // x64 Notepad4 24.9 or later reads the record where it is written
};

// How the editor's main window is found and what is known of it before and while it starts.
struct CaptureProfile {
    CaptureMethod method;
    WindowSearch search;          // polling capture only
    const wchar_t* windowClass;   // the class that search looks for; null when it takes any class
    bool collectsExistingFrames;  // lists its frames before the start: the new one may be of another process
    bool exitEndsSearch;          // polling: its process ending means no window will come
};

// Where the keyboard focus goes inside the embedded editor.
enum class FocusTarget {
    TextControl,     // the frame when the viewer is focused (it passes the focus on); else its first
                     // visible Scintilla, or its largest visible child
    Frame,           // the frame itself, always
    ActiveTextView,  // the visible Scintilla among the frame's own children, always: the frame keeps
                     // a focus it is given
};

// Embedding: the hook-captured editors lay themselves out on the move; the others also get
// WM_SIZE and a redraw.
struct EmbedProfile {
    bool moveOnlyResize;
    bool sizeAfterReparent;  // a WM_SIZE of its own after the re-parenting
    FocusTarget focus;
};

// The longest path it takes is capacity - 1 units (0: no limit known), on its command line
// commandLineCapacity - 1 (0: as capacity). A longer one is passed in its short (8.3) form where
// shortensLongPaths; else the editor drops it. expandsVariables: it reads %NAME% in a file name as
// an environment variable, so a name that holds two '%' goes in a form without them or not at all.
struct PathProfile {
    size_t capacity;
    bool shortensLongPaths;
    size_t commandLineCapacity;
    bool expandsVariables;
};

// How a preview keeps what the editor saves at exit (its recent files, its other settings) out of
// the user's own settings.
enum class SavedSettings {
    Shared,               // nothing known: it saves into the user's own, as it would anyway
    PrivateIniSwitch,     // Notepad3: "/f <ini>" names a private copy of the user's ini
    PrivateFolderSwitch,  // Notepad++: "-settingsDir=<folder>" names a private copy of the user's folder
    RecentFilesRestored,  // Notepad4 (no such switch): the files shown are taken out of its
                          // "Recent Files" once it has ended
};

// Where the editor's own settings can send it to the tray on WM_CLOSE (its window hidden, an icon
// in the notification area) instead of ending: such an editor is left there, as the user asked.
enum class TraySetting {
    None,
    Notepad4MinimizeToTray,  // "MinimizeToTray=1" in [Settings] of its Notepad4.ini
};

struct HandOffProfile {
    HandOffMethod method;
    UnsavedSignal unsaved;
    VersionGuard versionGuard;
};

// Each family's record is written in four rows: kind, name, file name and switches; capture; embed
// and path; hand-off; and, where the family has them, its saved settings and its tray setting.
struct EditorProfile {
    EditorKind kind;
    const wchar_t* name;      // as the log names it
    const wchar_t* fileName;  // recognised by this file name (A-Z folded); null for any other program
    const wchar_t* switches;  // after the quoted editor path on its command line
    CaptureProfile capture;
    EmbedProfile embed;
    PathProfile path;
    HandOffProfile handOff;
    SavedSettings savedSettings = SavedSettings::Shared;
    TraySetting traySetting = TraySetting::None;

    // Shutdown: nothing of its own. Every editor gets its window's look from before the embedding
    // back, is sent WM_CLOSE (once it answers) and watched; it is ended only when it provably holds
    // no unsaved work (ProvablyHoldsNoUnsavedWork: no '*' in front of its title, each Scintilla
    // window "unmodified"), else given back. A window that belongs to a process not started here
    // (a single-process EmEditor) is given back to the desktop.
};

// The families' records.
extern const EditorProfile kNotepad3Profile;
extern const EditorProfile kNotepad4Profile;
extern const EditorProfile kNotepadPPProfile;
extern const EditorProfile kEverEditProfile;
extern const EditorProfile kEmEditorProfile;
extern const EditorProfile kOtherEditorProfile;

// The record of the editor at editorPath, by its file name.
const EditorProfile& DetectEditorProfile(const std::wstring& editorPath);
const EditorProfile& ProfileOf(EditorKind kind);
