#pragma once
// A viewer window for the file-loading tests: a top-level window (the host's pane or the
// stand-alone viewer) with a child that owns a ViewerState the way the plug-in's viewer does.

#include <windows.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "viewer/viewer_state.h"

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

std::vector<std::wstring> Log();
std::wstring Hex16(const void* pointer);
// The log entries written after the first `skip` ones.
std::vector<std::wstring> LogSince(size_t skip);

}  // namespace loadfile_test
