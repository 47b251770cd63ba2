// What a load does around the editor: the "Loading..." text and its one font, clearing it after a
// failed launch, maximising the stand-alone viewer and the focus timer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "config/config_lock.h"
#include "config/plugin_config.h"
#include "loadfile_support.h"
#include "viewer/load_file.h"
#include "viewer/loading_text.h"

using namespace testing_support;
using namespace loadfile_test;

namespace {

void SetFlags(bool maximize, bool focus) {
    SetBehaviour(maximize, focus);
}

// True when the focus timer was running (killing it answers whether it existed).
bool FocusTimerWasRunning(HWND viewer) {
    return KillTimer(viewer, 3585) != FALSE;
}

// Every draw in every viewer uses the one font created first, and it stays a live font object.
TEST(LoadingText, OneFontForAllViewers) {
    TestViewer first(true);
    TestViewer second(true);
    DrawLoadingText(first.window);
    HFONT font = LoadingFont();
    ASSERT_NE(font, nullptr);
    DrawLoadingText(second.window);
    DrawLoadingText(first.window);
    EXPECT_EQ(LoadingFont(), font);
    EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
}

TEST(LoadingText, IsDrawnInTheMiddleAndClearedToTheBackground) {
    TestViewer viewer(true);
    ShowWindow(viewer.top, SW_SHOWNORMAL);
    UpdateWindow(viewer.top);
    const COLORREF background = GetSysColor(COLOR_WINDOW);
    ClearLoadingText(viewer.window);
    ASSERT_EQ(CountPixelsOtherThan(viewer.window, background), 0);
    DrawLoadingText(viewer.window);
    EXPECT_GT(CountPixelsOtherThan(viewer.window, background), 10);
    ClearLoadingText(viewer.window);
    EXPECT_EQ(CountPixelsOtherThan(viewer.window, background), 0);
}

struct TimerCase {
    bool inPreviewPane;
    bool reused;
    bool focusSetting;
    bool timerExpected;
};

TEST(PostLoad, FocusTimerOnlyAfterAHandOffOrInTheStandaloneViewer) {
    const TimerCase cases[] = {
        {true, false, true, false}, {true, true, true, true},    {false, false, true, true},
        {false, true, true, true},  {false, true, false, false}, {true, true, false, false},
    };
    for (const TimerCase& c : cases) {
        SetFlags(false, c.focusSetting);
        TestViewer viewer(c.inPreviewPane);
        viewer.state->editor.window = viewer.MakeEditorChild();
        viewer.state->focusRetries = 0;
        ApplyPostLoadBehavior(viewer.window, *viewer.state, c.reused);
        EXPECT_EQ(FocusTimerWasRunning(viewer.window), c.timerExpected)
            << c.inPreviewPane << c.reused << c.focusSetting;
        EXPECT_EQ(viewer.state->focusRetries, c.timerExpected ? 8 : 0);
    }
}

TEST(PostLoad, NoFocusTimerWithoutALiveEditorWindow) {
    SetFlags(false, true);
    TestViewer viewer(false);
    HWND editor = viewer.MakeEditorChild();
    DestroyWindow(editor);
    viewer.state->editor.window = editor;
    ApplyPostLoadBehavior(viewer.window, *viewer.state, true);
    EXPECT_FALSE(FocusTimerWasRunning(viewer.window));
}

TEST(PostLoad, StandaloneTopWindowIsMaximisedOnceAndThePaneIsLeftAlone) {
    SetFlags(true, false);
    const std::wstring line =
        L"[ApplyPostLoadBehavior] ApplyPostLoadBehavior: maximize standalone viewer top=0x";
    TestViewer pane(true);
    ApplyPostLoadBehavior(pane.window, *pane.state, false);
    EXPECT_FALSE(IsZoomed(pane.top));
    EXPECT_FALSE(LogHas(Log(), line + Hex16(pane.top)));

    TestViewer standalone(false);
    ApplyPostLoadBehavior(standalone.window, *standalone.state, false);
    EXPECT_TRUE(IsZoomed(standalone.top));
    auto entries = Log();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), line + Hex16(standalone.top)), 1);
    ApplyPostLoadBehavior(standalone.window, *standalone.state, true);
    entries = Log();
    EXPECT_EQ(std::count(entries.begin(), entries.end(), line + Hex16(standalone.top)), 1);
    SetFlags(false, false);
}

TEST(LoadFileRequests, MissingPathClosesTheEditorAndAnswersZero) {
    TestViewer viewer(true);
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, nullptr));
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, L""));
    auto entries = Log();
    EXPECT_TRUE(LogHas(entries, L"[LoadFile] filePath=[(null)]"));
    EXPECT_TRUE(LogHas(entries, L"[LoadFile] filePath=[]"));
}

}  // namespace
