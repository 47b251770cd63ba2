#pragma once
// A viewer window for the file-loading tests: a top-level window (the host's pane or the
// stand-alone viewer) with a child that owns a ViewerState the way the plug-in's viewer does.

#include <windows.h>

#include <string>
#include <vector>

#include "editor/viewer_state.h"
#include "support/test_support.h"

namespace loadfile_test {

struct TestViewer {
    explicit TestViewer(bool inPreviewPane);
    ~TestViewer();
    TestViewer(const TestViewer&) = delete;
    TestViewer& operator=(const TestViewer&) = delete;

    // A child window of the viewer standing in for an embedded editor.
    HWND MakeEditorChild();
    // Destroys the viewer window (its WM_DESTROY hands the state to DestroyViewerState).
    void DestroyViewer();

    HWND top = nullptr;
    HWND window = nullptr;
    ViewerState* state = nullptr;
};

// Messages a test posts to a viewer so that they arrive while a launch dispatches messages.
constexpr UINT kTestLoadMessage = WM_APP + 1;  // lParam: const wchar_t* path, alive until handled
constexpr UINT kTestClearMessage = WM_APP + 2;
constexpr UINT kTestDestroyMessage =
    WM_APP + 3;  // the viewer destroys itself (lParam: a standin::JournalScope*
                 // whose stand-in has started first, or 0)
// What LoadFile answered to each kTestLoadMessage, in order.
std::vector<int>& TestLoadAnswers();

// Maps each extension to an editor path (one group per extension) and sets editorParams.
void MapEditors(const std::vector<std::pair<std::wstring, std::wstring>>& extToEditor,
                const std::wstring& editorParams = L"");
void SetBehaviour(bool maximizeStandalone, bool focusOnLoad);

using testing_support::CountPixelsOtherThan;

// Every thread of the process stops (its windows no longer answer), or runs again. Returns how many.
int SuspendThreadsOf(DWORD pid, bool resume = false);

std::vector<std::wstring> Log();
std::wstring Hex16(const void* pointer);
// The log entries written after the first `skip` ones.
std::vector<std::wstring> LogSince(size_t skip);

}  // namespace loadfile_test
