#pragma once
// One editor started here, from its launch to its end. It has one owner at a time: the viewer while
// it starts and while it is embedded (or kept hidden for its group's next file), then the watcher
// that follows it out (KillChild, the releases) until it has ended or is the user's; what it is owed
// moves with it. Where each way
// out leads is mapped at the top of embed/editor_shutdown.h.

#include <windows.h>

#include <string>

#include "common/handles.h"
#include "editor_settings/put_back.h"
#include "editors/editor_profile.h"

// How the editor's window looked on the desktop before it was embedded: given back so, an editor
// that saves its placement at exit saves the user's own, not the pane's.
struct DesktopLook {
    bool known = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    WINDOWPLACEMENT placement = {};
};

// Where the editor is in its life. It only ever moves on: starting -> embedded -> leaving -> given
// back | ended (an editor that fails to start leaves from starting).
enum class EditorStage { None, Starting, Embedded, Leaving, GivenBack, Ended };

struct StartedEditor {
    UniqueHandle process;
    UniqueHandle thread;
    DWORD processId = 0;
    HWND window = nullptr;    // its main window; check with IsWindow before every use
    DesktopLook desktopLook;  // of window, read when it was captured
    std::wstring path;        // the editor's program
    const EditorProfile* profile = &kOtherEditorProfile;  // of the editor at path
    EditorStage stage = EditorStage::None;
    // What its settings are owed at its end (Notepad4's recent files): recorded at its launch, the
    // files shown in it noted as they come, done once it has ended.
    OwedPutBack putBack;
    // The thread of threadWindow (window, once asked): where its questions open. Asked once.
    HWND threadWindow = nullptr;
    DWORD windowThreadId = 0;
};

// Moves the editor on to stage; a stage it has passed already is never taken again.
inline void AdvanceStage(StartedEditor& editor, EditorStage stage) {
    if (static_cast<int>(stage) > static_cast<int>(editor.stage)) editor.stage = stage;
}
