// Requests that arrive while a launch waits for a late editor window (the hook-based wait
// dispatches this thread's messages): they wait their turn, the latest wins, a destroyed viewer
// is freed when the launch unwinds, and never do two captures run at once.

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "loadfile_support.h"
#include "support/standin_journal.h"
#include "viewer/handoff_records.h"
#include "viewer/load_file.h"

using namespace standin;
using namespace loadfile_test;
using testing_support::LogHas;
using testing_support::WaitFor;

namespace {

constexpr DWORD kEndMs = 5000;
const std::wstring kLate = L"--late=600";
const std::wstring kFileA = L"C:\\velloquin-tests\\first.txt";
const std::wstring kFileB = L"C:\\velloquin-tests\\second.txt";
const std::wstring kFileC = L"C:\\velloquin-tests\\third.txt";
const std::wstring kFileLog = L"C:\\velloquin-tests\\other.log";
const std::wstring kDeferredLine = L"[LoadFile] another load is in progress: request deferred, return 1";

std::vector<JournalEntry> Starts(const JournalScope& journal) {
    return Events(journal.Read(), "start");
}

std::vector<std::vector<uint8_t>> RecordsReceived(const JournalScope& journal, DWORD pid) {
    std::vector<std::vector<uint8_t>> records;
    for (const JournalEntry& entry : Events(journal.Read(), "copydata", pid)) {
        CopyData copy;
        if (ParseCopyData(entry, copy)) records.push_back(copy.bytes);
    }
    return records;
}

bool Ended(DWORD pid) {
    return WaitFor([pid] { return !ProcessRunning(pid); }, kEndMs);
}

DWORD StartedPid(const std::vector<std::wstring>& entries) {
    const std::wstring prefix = L"[LaunchAndEmbed] CreateProcessW OK, pid=";
    for (const std::wstring& entry : entries) {
        if (entry.compare(0, prefix.size(), prefix) == 0)
            return static_cast<DWORD>(wcstoul(entry.c_str() + prefix.size(), nullptr, 10));
    }
    return 0;
}

void PostLoad(HWND viewer, const std::wstring& path) {
    PostMessageW(viewer, kTestLoadMessage, 0, reinterpret_cast<LPARAM>(path.c_str()));
}

class Reentrancy : public ::testing::Test {
   protected:
    void SetUp() override {
        SetBehaviour(false, false);
        TestLoadAnswers().clear();
        testing_support::EnsureFiles({kFileA, kFileB, kFileC, kFileLog});
    }
};

TEST_F(Reentrancy, LoadsDuringALaunchWaitAndOnlyTheLatestIsHandedOverAfterIt) {
    JournalScope journal(L"reenter-load");
    MapEditors({{L"txt", StandinPath(L"notepad3.exe")}}, kLate);
    TestViewer viewer(true);
    PostLoad(viewer.window, kFileB);
    PostLoad(viewer.window, kFileC);
    const size_t before = Log().size();
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    EXPECT_EQ(TestLoadAnswers(), (std::vector<int>{1, 1}));
    std::vector<JournalEntry> starts = Starts(journal);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(RecordsReceived(journal, starts[0].pid),
              std::vector<std::vector<uint8_t>>{BuildNotepadParamRecord(kFileC, NotepadFamily::Notepad3)});
    EXPECT_EQ(viewer.state->currentFile, kFileC);
    EXPECT_EQ(viewer.state->pending, ViewerState::PendingRequest::None);
    EXPECT_TRUE(LogHas(LogSince(before), kDeferredLine));
}

TEST_F(Reentrancy, ClearDuringALaunchClosesTheEditorOnceItIsEmbedded) {
    JournalScope journal(L"reenter-clear");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")}}, kLate);
    TestViewer viewer(true);
    PostLoad(viewer.window, kFileB);
    PostMessageW(viewer.window, kTestClearMessage, 0, 0);
    const size_t before = Log().size();
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    std::vector<JournalEntry> starts = Starts(journal);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(Ended(starts[0].pid));
    EXPECT_TRUE(RecordsReceived(journal, starts[0].pid).empty());
    EXPECT_TRUE(viewer.state->editor.path.empty());
    EXPECT_FALSE(viewer.state->editor.process);
    EXPECT_TRUE(LogHas(LogSince(before), L"[ClearViewer] a load is in progress: clear deferred"));
}

TEST_F(Reentrancy, ViewerDestroyedDuringALaunchEndsTheEditorAndFreesTheState) {
    JournalScope journal(L"reenter-destroy");
    MapEditors({{L"txt", StandinPath(L"notepad++.exe")}}, kLate);
    TestViewer viewer(true);
    PostLoad(viewer.window, kFileB);
    PostMessageW(viewer.window, kTestDestroyMessage, 0, reinterpret_cast<LPARAM>(&journal));
    const size_t before = Log().size();
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    viewer.state = nullptr;  // freed by LoadFile
    EXPECT_FALSE(IsWindow(viewer.window));
    auto entries = LogSince(before);
    // The destroy is taken in the wait's first pass: the editor may be ended before it journals
    // its start, so its pid comes from the log.
    const DWORD pid = StartedPid(entries);
    ASSERT_NE(pid, 0u);
    EXPECT_LE(Starts(journal).size(), 1u);
    EXPECT_TRUE(Ended(pid));
    EXPECT_TRUE(RecordsReceived(journal, pid).empty());
    EXPECT_TRUE(LogHas(
        entries, L"[DestroyViewerState] a load is in progress: it ends the editor and frees the state"));
    EXPECT_TRUE(
        LogHas(entries, L"[DestroyViewerState] viewer destroyed during a load: editor closed, state freed"));
}

TEST_F(Reentrancy, AnotherViewerWaitsForTheRunningCaptureThenLaunchesItsOwn) {
    JournalScope journal(L"reenter-other");
    MapEditors({{L"txt", StandinPath(L"notepad3.exe")}, {L"log", StandinPath(L"notepad4.exe")}}, kLate);
    TestViewer first(true);
    TestViewer second(true);
    PostLoad(second.window, kFileLog);
    ASSERT_TRUE(LoadFile(first.window, *first.state, kFileA.c_str()));
    EXPECT_EQ(TestLoadAnswers(), std::vector<int>{1});
    EXPECT_EQ(Starts(journal).size(), 1u);
    ASSERT_TRUE(
        WaitFor([&] { return second.state->editor.window && IsWindow(second.state->editor.window); }, 10000));
    std::vector<JournalEntry> starts = Starts(journal);
    ASSERT_EQ(starts.size(), 2u);
    std::vector<JournalEntry> firstWindow = Events(journal.Read(), "window", starts[0].pid);
    ASSERT_EQ(firstWindow.size(), 1u);
    EXPECT_GE(starts[1].tick, firstWindow[0].tick);
    EXPECT_EQ(CommandLineOf(journal.Read(), starts[1].pid),
              L"\"" + StandinPath(L"notepad4.exe") + L"\" /n " + kLate + L" \"" + kFileLog + L"\"");
    EXPECT_EQ(GetAncestor(second.state->editor.window, GA_PARENT), second.window);
    EXPECT_EQ(GetAncestor(first.state->editor.window, GA_PARENT), first.window);
}

TEST_F(Reentrancy, DeferredViewerDestroyedBeforeItsTurnStartsNothing) {
    JournalScope journal(L"reenter-other-destroy");
    MapEditors({{L"txt", StandinPath(L"notepad3.exe")}, {L"log", StandinPath(L"notepad4.exe")}}, kLate);
    TestViewer first(true);
    TestViewer second(true);
    PostLoad(second.window, kFileLog);
    PostMessageW(second.window, kTestDestroyMessage, 0, 0);
    ASSERT_TRUE(LoadFile(first.window, *first.state, kFileA.c_str()));
    second.state = nullptr;
    // The wake-ups are posted to this thread: once they are dispatched, nothing else can start.
    testing_support::PumpMessages();
    EXPECT_EQ(Starts(journal).size(), 1u);
    EXPECT_FALSE(IsWindow(second.window));
    EXPECT_TRUE(IsWindow(first.state->editor.window));
}

TEST_F(Reentrancy, ViewerOnAnotherThreadWaitsForTheCaptureRunningOnThisOne) {
    JournalScope journal(L"reenter-thread");
    MapEditors({{L"txt", StandinPath(L"notepad3.exe")}, {L"log", StandinPath(L"notepad++.exe")}},
               L"--late=1500");
    TestViewer first(true);
    const size_t before = Log().size();
    bool answered = false;
    bool embedded = false;
    std::thread other([&] {
        TestViewer second(true);
        if (!journal.WaitForEvent("start", kEndMs)) return;
        answered = LoadFile(second.window, *second.state, kFileLog.c_str());
        embedded = WaitFor([&] { return second.state->editor.window && IsWindow(second.state->editor.window); },
                           10000);
    });
    const bool shown = LoadFile(first.window, *first.state, kFileA.c_str());
    other.join();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(answered);
    EXPECT_TRUE(embedded);
    std::vector<JournalEntry> starts = Starts(journal);
    ASSERT_EQ(starts.size(), 2u);
    std::vector<JournalEntry> firstWindow = Events(journal.Read(), "window", starts[0].pid);
    ASSERT_EQ(firstWindow.size(), 1u);
    EXPECT_GE(starts[1].tick, firstWindow[0].tick);
    EXPECT_TRUE(LogHas(LogSince(before), kDeferredLine));
}

// The generic capture dispatches this thread's messages while it waits: a request posted before
// the launch arrives inside it, waits its turn and is handed over afterwards.
TEST_F(Reentrancy, RequestsPostedDuringAGenericLaunchWaitTheirTurn) {
    JournalScope journal(L"reenter-generic-posted");
    MapEditors({{L"txt", StandinPath(L"otheredit.exe")}}, kLate);
    TestViewer viewer(true);
    PostLoad(viewer.window, kFileB);
    const size_t before = Log().size();
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    EXPECT_EQ(TestLoadAnswers(), std::vector<int>{1});
    std::vector<JournalEntry> starts = Starts(journal);
    ASSERT_EQ(starts.size(), 1u);
    ASSERT_TRUE(journal.WaitForEvent("dropfiles", kEndMs, starts[0].pid));
    EXPECT_EQ(viewer.state->currentFile, kFileB);
    EXPECT_TRUE(LogHas(LogSince(before), kDeferredLine));
}

// Requests sent from another thread arrive inside the generic capture's wait as well.
TEST_F(Reentrancy, RequestsSentDuringAGenericLaunchWaitTheirTurn) {
    JournalScope journal(L"reenter-generic");
    MapEditors({{L"txt", StandinPath(L"otheredit.exe")}}, kLate);
    TestViewer viewer(true);
    HWND window = viewer.window;
    std::thread sender([&] {
        if (!journal.WaitForEvent("start", kEndMs)) return;
        SendMessageW(window, kTestLoadMessage, 0, reinterpret_cast<LPARAM>(kFileB.c_str()));
    });
    const size_t before = Log().size();
    const bool shown = LoadFile(viewer.window, *viewer.state, kFileA.c_str());
    sender.join();
    EXPECT_TRUE(shown);
    EXPECT_EQ(TestLoadAnswers(), std::vector<int>{1});
    std::vector<JournalEntry> starts = Starts(journal);
    ASSERT_EQ(starts.size(), 1u);
    ASSERT_TRUE(journal.WaitForEvent("dropfiles", kEndMs, starts[0].pid));
    EXPECT_EQ(viewer.state->currentFile, kFileB);
    EXPECT_TRUE(LogHas(LogSince(before), kDeferredLine));
}

TEST_F(Reentrancy, ViewerDestroyedDuringAGenericLaunchEndsTheEditorAndFreesTheState) {
    JournalScope journal(L"reenter-generic-destroy");
    MapEditors({{L"txt", StandinPath(L"everedit.exe")}}, kLate);
    TestViewer viewer(true);
    HWND window = viewer.window;
    std::thread sender([&] {
        if (!journal.WaitForEvent("start", kEndMs)) return;
        SendMessageW(window, kTestDestroyMessage, 0, 0);
    });
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    sender.join();
    viewer.state = nullptr;
    EXPECT_FALSE(IsWindow(window));
    std::vector<JournalEntry> starts = Starts(journal);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(Ended(starts[0].pid));
}

// A hand-off's sends dispatch messages while the editor takes its time (here it hangs at
// SCI_GETMODIFY): the viewer destroyed meanwhile stops the hand-off at once, no other editor is
// started for it, and its state is freed when the load unwinds.
TEST_F(Reentrancy, ViewerDestroyedDuringAHandOffStartsNoOtherEditorAndFreesTheState) {
    JournalScope journal(L"reenter-handoff-destroy");
    MapEditors({{L"txt", StandinPath(L"notepad3.exe")}}, L"--hang=2159");
    TestViewer viewer(true);
    HWND window = viewer.window;
    ASSERT_TRUE(LoadFile(window, *viewer.state, kFileA.c_str()));
    const DWORD hung = Starts(journal).at(0).pid;
    std::thread poster([&] {
        if (journal.WaitForEvent("hang", kEndMs, hung)) PostMessageW(window, kTestDestroyMessage, 0, 0);
    });
    const size_t before = Log().size();
    EXPECT_FALSE(LoadFile(window, *viewer.state, kFileB.c_str()));
    poster.join();
    viewer.state = nullptr;  // freed by LoadFile
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Starts(journal).size(), 1u);
    // Still inside its closing viewer, which would wait for it: ended.
    EXPECT_TRUE(Ended(hung));
    auto entries = LogSince(before);
    EXPECT_TRUE(LogHas(
        entries, L"[DestroyViewerState] a load is in progress: it ends the editor and frees the state"));
    EXPECT_TRUE(
        LogHas(entries, L"[DestroyViewerState] viewer destroyed during a load: editor closed, state freed"));
}

}  // namespace
