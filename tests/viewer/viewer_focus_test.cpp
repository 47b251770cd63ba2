// Sizing and focusing the embedded editor, with windows of this program playing the editor (a
// viewer from the linked product code, its state filled in by the test).

#include "viewer/viewer_focus.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "common/window_data.h"
#include "editor/viewer_state.h"
#include "plugin/exports.h"
#include "support/test_support.h"
#include "viewer_test_windows.h"

using namespace testing_support;

namespace {

std::atomic<int> editorSizeMessages{0};

LRESULT CALLBACK FakeEditorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SIZE) ++editorSizeMessages;
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateFakeEditor(HWND viewer, int width = 50, int height = 40) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = FakeEditorProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"FakeEditorFrame";
    RegisterClassExW(&windowClass);
    return CreateWindowExW(0, L"FakeEditorFrame", L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height, viewer,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
}

std::vector<HWND> Descendants(HWND window) {
    std::vector<HWND> all;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM list) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&all));
    return all;
}

// The first of candidates in the order the system enumerates the editor's descendants.
HWND FirstInEnumerationOrder(HWND editor, std::initializer_list<HWND> candidates) {
    for (HWND window : Descendants(editor)) {
        for (HWND candidate : candidates) {
            if (window == candidate) return window;
        }
    }
    return nullptr;
}

class EmbeddedEditor : public ::testing::Test {
   protected:
    void SetUp() override {
        host_ = testwin::SharedHost(400, 300);
        ASSERT_NE(host_, nullptr);
        viewer_ = DVP_CreateViewer(host_, nullptr, 4);
        ASSERT_NE(viewer_, nullptr);
        state_ = GetWindowData<ViewerState>(viewer_);
        ASSERT_NE(state_, nullptr);
        editorSizeMessages = 0;
    }
    void TearDown() override {
        testwin::SharedHost(400, 300);
        PumpMessages();
    }
    void Embed(HWND editor, const wchar_t* editorPath) {
        state_->editor.window = editor;
        state_->editor.path = editorPath;
        state_->editor.profile = &DetectEditorProfile(editorPath);
    }

    HWND host_ = nullptr;
    HWND viewer_ = nullptr;
    ViewerState* state_ = nullptr;
};

TEST(FocusTarget, ScintillaClassNamesMatchOnTheFirstNineCharactersIgnoringCase) {
    EXPECT_TRUE(IsScintillaClassName(L"Scintilla"));
    EXPECT_TRUE(IsScintillaClassName(L"SCINTILLAEdit"));
    EXPECT_TRUE(IsScintillaClassName(L"scintilla_2"));
    EXPECT_FALSE(IsScintillaClassName(L"Scintill"));
    EXPECT_FALSE(IsScintillaClassName(L"XScintilla"));
    EXPECT_FALSE(IsScintillaClassName(L""));
}

TEST_F(EmbeddedEditor, FocusGoesToTheFirstVisibleScintillaDescendant) {
    HWND editor = CreateFakeEditor(viewer_);
    testwin::CreateChild(editor, L"BigPane", 0, 0, 300, 200);
    testwin::CreateChild(editor, L"Scintilla", 0, 0, 30, 30, false);
    HWND box = testwin::CreateChild(editor, L"BigPane", 0, 0, 100, 100);
    HWND nested = testwin::CreateChild(box, L"scintillaEdit", 0, 0, 10, 10);
    HWND plain = testwin::CreateChild(editor, L"Scintilla", 0, 0, 20, 20);
    Embed(editor, L"C:\\Tools\\Notepad3.exe");
    EXPECT_EQ(ChooseFocusTarget(editor, ProfileOf(EditorKind::Notepad3)),
              FirstInEnumerationOrder(editor, {nested, plain}));

    FocusEditorContent(*state_);
    EXPECT_EQ(GetFocus(), FirstInEnumerationOrder(editor, {nested, plain}));
}

TEST_F(EmbeddedEditor, WithoutScintillaTheLargestVisibleDescendantTheFirstOnEqualAreas) {
    HWND editor = CreateFakeEditor(viewer_);
    HWND wide = testwin::CreateChild(editor, L"BigPane", 0, 0, 200, 50);
    testwin::CreateChild(editor, L"BigPane", 0, 0, 500, 500, false);
    HWND square = testwin::CreateChild(editor, L"BigPane", 0, 0, 100, 100);
    HWND small = testwin::CreateChild(editor, L"BigPane", 0, 0, 50, 50);
    testwin::CreateChild(small, L"Scintilla", 0, 0, 40, 40, false);
    EXPECT_EQ(ChooseFocusTarget(editor, ProfileOf(EditorKind::Other)),
              FirstInEnumerationOrder(editor, {wide, square}));
    EXPECT_EQ(ChooseFocusTarget(editor, ProfileOf(EditorKind::EverEdit)),
              FirstInEnumerationOrder(editor, {wide, square}));
}

TEST_F(EmbeddedEditor, EditorWindowItselfWithoutVisibleDescendantsAndForEmEditor) {
    HWND editor = CreateFakeEditor(viewer_);
    testwin::CreateChild(editor, L"BigPane", 0, 0, 0, 0);
    testwin::CreateChild(editor, L"Scintilla", 0, 0, 30, 30, false);
    EXPECT_EQ(ChooseFocusTarget(editor, ProfileOf(EditorKind::Notepad4)), editor);
    testwin::CreateChild(editor, L"Scintilla", 0, 0, 30, 30);
    EXPECT_EQ(ChooseFocusTarget(editor, ProfileOf(EditorKind::EmEditor)), editor);
    Embed(editor, L"D:\\EmEditor\\EMEDITOR.EXE");
    FocusEditorContent(*state_);
    EXPECT_EQ(GetFocus(), editor);
}

TEST_F(EmbeddedEditor, StandaloneFocusBringsTheTopWindowToTheFront) {
    HWND editor = CreateFakeEditor(viewer_);
    HWND text = testwin::CreateChild(editor, L"Scintilla", 0, 0, 30, 30);
    Embed(editor, L"C:\\notepad++.exe");
    state_->inPreviewPane = false;
    HWND other = testwin::SharedHost(100, 100, 1);
    SetForegroundWindow(other);
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == other; }, 2000));
    FocusEditorContent(*state_);
    EXPECT_EQ(GetForegroundWindow(), host_);
    EXPECT_EQ(GetFocus(), text);
}

TEST_F(EmbeddedEditor, FocusTimerRunsOnceAndIgnoresOtherTimers) {
    HWND editor = CreateFakeEditor(viewer_);
    HWND text = testwin::CreateChild(editor, L"Scintilla", 0, 0, 30, 30);
    Embed(editor, L"C:\\notepad4.exe");
    state_->focusRetries = 2;
    SetTimer(viewer_, 3585, 100000, nullptr);
    SendMessageW(viewer_, WM_TIMER, 77, 0);
    EXPECT_EQ(state_->focusRetries, 2);
    // An editor that answers is focused at the first tick, which ends the timer.
    SendMessageW(viewer_, WM_TIMER, 3585, 0);
    EXPECT_EQ(GetFocus(), text);
    EXPECT_FALSE(KillTimer(viewer_, 3585));
}

TEST_F(EmbeddedEditor, SetFocusAndMouseActivateFocusTheEditorWindow) {
    HWND editor = CreateFakeEditor(viewer_);
    testwin::CreateChild(editor, L"Scintilla", 0, 0, 30, 30);
    Embed(editor, L"C:\\notepad3.exe");
    SendMessageW(viewer_, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(host_), 0);
    EXPECT_EQ(GetFocus(), editor);
    SetFocus(host_);
    SetFocus(viewer_);
    EXPECT_EQ(GetFocus(), editor);
    DestroyWindow(editor);  // a stale handle: nothing is called on it
    SendMessageW(viewer_, WM_SETFOCUS, 0, 0);
    SendMessageW(viewer_, WM_TIMER, 3585, 0);
    SendMessageW(viewer_, 0x8F08, 0, 0x00100010);
}

// Its frame keeps a focus it is given; a panel's Scintilla and the hidden second
// view are passed over for the visible view among the frame's own children.
TEST_F(EmbeddedEditor, NotepadPPFocusGoesToItsActiveTextViewNotItsFrameOrAPanel) {
    HWND editor = CreateFakeEditor(viewer_);
    HWND panel = testwin::CreateChild(editor, L"BigPane", 0, 0, 100, 100);
    testwin::CreateChild(panel, L"Scintilla", 0, 0, 50, 50);
    testwin::CreateChild(editor, L"Scintilla", 0, 0, 30, 30, false);
    HWND view = testwin::CreateChild(editor, L"Scintilla", 0, 0, 30, 30);
    Embed(editor, L"C:\\Program Files\\Notepad++\\notepad++.exe");
    EXPECT_EQ(ChooseFocusTarget(editor, ProfileOf(EditorKind::NotepadPlusPlus)), view);
    SetFocus(host_);
    SetFocus(viewer_);
    EXPECT_EQ(GetFocus(), view);
    SetFocus(host_);
    FocusEditorContent(*state_);
    EXPECT_EQ(GetFocus(), view);
}

TEST_F(EmbeddedEditor, HostSizeMessageResizesOnlyWithBothHalvesSet) {
    HWND editor = CreateFakeEditor(viewer_, 10, 10);
    Embed(editor, L"C:\\notepad3.exe");
    RECT small = {0, 0, 10, 10};
    for (LPARAM partial : {LPARAM{0x00000010}, LPARAM{0x00100000}}) {
        SendMessageW(viewer_, 0x8F08, 0, partial);
        EXPECT_EQ(testwin::RectInParent(editor), small);
    }
    SendMessageW(viewer_, 0x8F08, 0, 0x00100010);
    RECT client = {0, 0, 400, 300};
    EXPECT_EQ(testwin::RectInParent(editor), client);
    MoveWindow(viewer_, 0, 0, 250, 150, TRUE);
    RECT resized = {0, 0, 250, 150};
    EXPECT_EQ(testwin::RectInParent(editor), resized);
}

// Scintilla-based editors lay themselves out on the move; the others also get WM_SIZE and a
// redraw. The second resize changes nothing, so any WM_SIZE then is the one sent on purpose.
TEST_F(EmbeddedEditor, OnlyEditorsOutsideTheScintillaFamilyGetSizeAndRedraw) {
    for (const wchar_t* path : {L"C:\\notepad3.exe", L"C:\\x\\Notepad4.exe", L"notepad++.exe",
                                L"C:\\everedit.exe", L"C:\\emeditor.exe", L"C:\\other.exe"}) {
        HWND editor = CreateFakeEditor(viewer_);
        Embed(editor, path);
        ResizeEmbeddedEditor(viewer_, *state_);
        PumpMessages();
        ValidateRect(editor, nullptr);
        editorSizeMessages = 0;
        ResizeEmbeddedEditor(viewer_, *state_);
        RECT update = {};
        bool invalidated = GetUpdateRect(editor, &update, FALSE) != 0;
        PumpMessages();
        bool moveOnly = DetectEditorKind(path) >= EditorKind::Notepad3 &&
                        DetectEditorKind(path) <= EditorKind::NotepadPlusPlus;
        EXPECT_EQ(editorSizeMessages, moveOnly ? 0 : 1) << path;
        EXPECT_EQ(invalidated, !moveOnly) << path;
        DestroyWindow(editor);
    }
}

// An editor on its own thread, like a real one; it can be made to stop answering.
class EditorThread {
   public:
    explicit EditorThread(HWND viewer) : release_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
        thread_ = std::thread([this, viewer] { Run(viewer); });
        WaitFor([this] { return ready_.load(); }, 5000);
    }
    ~EditorThread() {
        SetEvent(release_);
        PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        WaitFor([this] { return done_.load(); }, 5000);
        thread_.join();
        CloseHandle(release_);
    }
    void Hang() {
        ResetEvent(release_);
        PostMessageW(editor, WM_NULL, 0, 0);
        WaitFor([this] { return hung_.load(); }, 5000);
    }
    void Release() { SetEvent(release_); }

    HWND editor = nullptr;
    HWND text = nullptr;

   private:
    void Run(HWND viewer) {
        threadId_ = GetCurrentThreadId();
        editor = CreateFakeEditor(viewer);
        text = testwin::CreateChild(editor, L"Scintilla", 0, 0, 30, 30);
        ready_ = true;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (WaitForSingleObject(release_, 0) == WAIT_TIMEOUT) {
                hung_ = true;
                WaitForSingleObject(release_, INFINITE);
                hung_ = false;
            }
            DispatchMessageW(&msg);
        }
        DestroyWindow(editor);
        done_ = true;
    }
    HANDLE release_;
    std::thread thread_;
    std::atomic<DWORD> threadId_{0};
    std::atomic<bool> ready_{false};
    std::atomic<bool> hung_{false};
    std::atomic<bool> done_{false};
};

TEST_F(EmbeddedEditor, EditorOnAnotherThreadGetsTheFocusThroughAttachedInput) {
    EditorThread thread(viewer_);
    ASSERT_NE(thread.editor, nullptr);
    Embed(thread.editor, L"C:\\notepad3.exe");
    FocusEditorContent(*state_);
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(thread.editor, nullptr), &info));
    EXPECT_EQ(info.hwndFocus, thread.text);
}

TEST_F(EmbeddedEditor, HungEditorDelaysNeitherResizeNorFocus) {
    EditorThread thread(viewer_);
    ASSERT_NE(thread.editor, nullptr);
    Embed(thread.editor, L"C:\\other.exe");
    thread.Hang();
    DWORD start = GetTickCount();
    MoveWindow(viewer_, 0, 0, 220, 120, TRUE);
    SendMessageW(viewer_, 0x8F08, 0, 0x007800DC);
    EXPECT_LT(GetTickCount() - start, 1000u);
    start = GetTickCount();
    SendMessageW(viewer_, WM_SETFOCUS, 0, 0);
    FocusEditorContent(*state_);
    EXPECT_LT(GetTickCount() - start, 2500u);
    thread.Release();
    RECT resized = {0, 0, 220, 120};
    EXPECT_TRUE(WaitFor([&] { return testwin::RectInParent(thread.editor) == resized; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return editorSizeMessages.load() > 0; }, 5000));
}

}  // namespace
