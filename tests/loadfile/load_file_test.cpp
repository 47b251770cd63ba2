// LoadFile with the stand-in editors: reuse or relaunch, the hand-off per kind as the editor
// received it, the fallbacks, and the behaviour after a load.

#include "viewer/load_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "embed/editor_messages.h"
#include "embed/editor_shutdown.h"
#include "loadfile_support.h"
#include "support/standin_journal.h"
#include "viewer/handoff_records.h"

using namespace standin;
using namespace loadfile_test;
using testing_support::LogHas;
using testing_support::WaitFor;

namespace {

constexpr DWORD kEndMs = 5000;
const std::wstring kFileA = L"C:\\velloquin-tests\\a.txt";
const std::wstring kFileB = L"C:\\velloquin-tests\\second file.txt";
const std::wstring kFileLog = L"C:\\velloquin-tests\\b.log";

std::vector<DWORD> StartedPids(const JournalScope& journal) {
    std::vector<DWORD> pids;
    for (const JournalEntry& entry : Events(journal.Read(), "start")) pids.push_back(entry.pid);
    return pids;
}

std::vector<CopyData> CopiesOf(const JournalScope& journal, DWORD pid) {
    std::vector<CopyData> copies;
    for (const JournalEntry& entry : Events(journal.Read(), "copydata", pid)) {
        CopyData copy;
        EXPECT_TRUE(ParseCopyData(entry, copy));
        copies.push_back(copy);
    }
    return copies;
}

bool Ended(DWORD pid) {
    return WaitFor([pid] { return !ProcessRunning(pid); }, kEndMs);
}

size_t LogSize() {
    return Log().size();
}

bool FocusTimerWasRunning(HWND viewer) {
    return KillTimer(viewer, 3585) != FALSE;
}

class LoadFileWithStandins : public ::testing::Test {
   protected:
    void SetUp() override {
        SetBehaviour(false, false);
        testing_support::EnsureFiles({kFileA, kFileB, kFileLog});
    }
    void TearDown() override { SetBehaviour(false, false); }
};

TEST_F(LoadFileWithStandins, SameFileTwiceIsHandedToTheRunningNotepad3) {
    JournalScope journal(L"load-reuse");
    MapEditors({{L"txt", StandinPath(L"notepad3.exe")}});
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    ASSERT_TRUE(IsWindow(viewer.state->editor.window));
    EXPECT_EQ(GetAncestor(viewer.state->editor.window, GA_PARENT), viewer.window);
    const size_t before = LogSize();
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 1u);
    std::vector<CopyData> copies = CopiesOf(journal, pids[0]);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].bytes, BuildNotepadParamRecord(kFileA, NotepadFamily::Notepad3));
    EXPECT_EQ(viewer.state->currentFile, kFileA);
    auto entries = LogSince(before);
    EXPECT_TRUE(LogHas(entries, L"[LoadFile] filePath=[" + kFileA + L"]"));
    EXPECT_TRUE(LogHas(entries, L"[LoadFile] viewer=[" + StandinPath(L"notepad3.exe") + L"]"));
    EXPECT_TRUE(LogHas(entries, L"[LoadFile] LoadFile (Notepad3 WM_COPYDATA) return 1"));
}

TEST_F(LoadFileWithStandins, EachKindGetsItsHandOffAndItsLogLine) {
    struct Case {
        const wchar_t* fileName;
        const wchar_t* line;
        const char* event;
        uint64_t dwData;
        std::vector<uint8_t> record;
    } cases[] = {
        {L"notepad4.exe", L"[LoadFile] LoadFile (Notepad4 WM_COPYDATA) return 1", "copydata", 0xFB10,
         BuildNotepadParamRecord(kFileB, NotepadFamily::Notepad4)},
        {L"notepad++.exe", L"[LoadFile] LoadFile (Notepad++ WM_COPYDATA) return 1", "copydata", 2,
         BuildNotepadPPRecord(kFileB)},
        {L"emeditor.exe", L"[LoadFile] LoadFile (EmEditor WM_COPYDATA) return 1", "copydata", 0xE3D17022,
         BuildEmEditorRecord(kFileB)},
        {L"everedit.exe", L"[LoadFile] LoadFile (WM_DROPFILES) return 1", "dropfiles", 0, {}},
        {L"otheredit.exe", L"[LoadFile] LoadFile (WM_DROPFILES) return 1", "dropfiles", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing_support::Wide2Utf8(c.fileName));
        JournalScope journal(L"load-kinds");
        MapEditors({{L"txt", StandinPath(c.fileName)}});
        TestViewer viewer(true);
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
        const size_t before = LogSize();
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
        EXPECT_TRUE(LogHas(LogSince(before), c.line));
        std::vector<DWORD> pids = StartedPids(journal);
        ASSERT_EQ(pids.size(), 1u);
        ASSERT_TRUE(journal.WaitForEvent(c.event, kEndMs, pids[0]));
        if (c.dwData != 0) {
            std::vector<CopyData> copies = CopiesOf(journal, pids[0]);
            ASSERT_EQ(copies.size(), 1u);
            EXPECT_EQ(copies[0].dwData, c.dwData);
            EXPECT_EQ(copies[0].bytes, c.record);
        }
    }
}

TEST_F(LoadFileWithStandins, EmEditorRefusingTheRecordGetsTheFileByDrop) {
    JournalScope journal(L"load-emeditor-zero");
    MapEditors({{L"txt", StandinPath(L"emeditor.exe")}}, L"--copydata-zero");
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    const size_t before = LogSize();
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
    std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 1u);
    ASSERT_TRUE(journal.WaitForEvent("dropfiles", kEndMs, pids[0]));
    EXPECT_EQ(CopiesOf(journal, pids[0]).size(), 1u);
    auto entries = LogSince(before);
    EXPECT_TRUE(LogHas(entries, L"[LoadFile] LoadFile (WM_DROPFILES) return 1"));
    EXPECT_FALSE(LogHas(entries, L"[LoadFile] LoadFile (EmEditor WM_COPYDATA) return 1"));
}

TEST_F(LoadFileWithStandins, AnotherEditorOrOneDifferingInCaseReplacesTheRunningOne) {
    JournalScope journal(L"load-replace");
    MapEditors({{L"txt", StandinPath(L"notepad3.exe")}, {L"log", StandinPath(L"notepad4.exe")}});
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileLog.c_str()));
    std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 2u);
    EXPECT_TRUE(Ended(pids[0]));
    EXPECT_TRUE(CopiesOf(journal, pids[0]).empty());
    EXPECT_EQ(CommandLineOf(journal.Read(), pids[1]),
              L"\"" + StandinPath(L"notepad4.exe") + L"\" /n \"" + kFileLog + L"\"");

    std::wstring upper = StandinPath(L"NOTEPAD4.EXE");
    MapEditors({{L"log", upper}});
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileLog.c_str()));
    pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 3u);
    EXPECT_TRUE(Ended(pids[1]));
    EXPECT_EQ(viewer.state->editor.path, upper);
}

TEST_F(LoadFileWithStandins, EditorClosedByTheUserIsStartedAgain) {
    JournalScope journal(L"load-closed");
    MapEditors({{L"txt", StandinPath(L"notepad++.exe")}});
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    DWORD first = StartedPids(journal).at(0);
    PostMessageW(viewer.state->editor.window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Ended(first));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    EXPECT_EQ(StartedPids(journal).size(), 2u);
    EXPECT_TRUE(IsWindow(viewer.state->editor.window));
}

// A hand-off that is not answered in time starts a fresh editor; the one that did not answer is busy,
// not hung, and may hold unsaved work: never terminated, it closes or asks about its work once it
// is done. The busy one, still in the viewer, holds neither our activation nor our focus: the fresh
// editor's embedding does not wait for it.
TEST_F(LoadFileWithStandins, BusyEditorIsReplacedAfterTheFailedHandOffAndNeverTerminated) {
    struct Case {
        const wchar_t* exe;
        const wchar_t* params;
        const wchar_t* failure;
    } cases[] = {
        {L"notepad++.exe", L"--busy-first=100:7000", L"[HandFileToNotepadPP] Scintilla 0x"},
        {L"notepad4.exe", L"--unsaved --busy-first=100:4500", nullptr},
        // A window it shows without asking anything is no question: the failed hand-off still relaunches.
        {L"notepad4.exe", L"--unsaved --busy-first=100:4500 --decoy=tool", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing_support::Wide2Utf8(c.exe));
        JournalScope journal(L"load-busy");
        MapEditors({{L"txt", StandinPath(c.exe)}}, c.params);
        TestViewer viewer(true);
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
        const DWORD first = viewer.state->editor.processId;
        ASSERT_TRUE(journal.WaitForEvent("busy", kEndMs, first));
        const size_t before = LogSize();
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
        const DWORD second = viewer.state->editor.processId;
        ASSERT_NE(second, first);
        EXPECT_EQ(CommandLineOf(journal.Read(), second).find(kFileB) != std::wstring::npos, true);
        auto entries = LogSince(before);
        if (c.failure) {
            EXPECT_EQ(testing_support::CountLogEntriesStartingWith(entries, c.failure), 1);
        }
        EXPECT_TRUE(LogHas(entries, L"[LoadFile] LoadFile return 1"));
        // Notepad++ closes once it is done; Notepad4 asks about its unsaved document.
        if (c.failure) {
            EXPECT_TRUE(Ended(first));
            EXPECT_EQ(Events(journal.Read(), "exit", first).size(), 1u);
        } else {
            EXPECT_TRUE(journal.WaitForEvent("prompt", 3 * kEndMs, first));
            EXPECT_TRUE(ProcessRunning(first));
        }
        for (const std::wstring& entry : LogSince(before))
            EXPECT_EQ(entry.find(L"pid=" + std::to_wstring(first) + L" ") != std::wstring::npos &&
                          entry.find(L": terminated") != std::wstring::npos,
                      false)
                << testing_support::Wide2Utf8(entry);
        viewer.DestroyViewer();
    }
}

TEST_F(LoadFileWithStandins, UnsavedNotepad3DocumentIsReleasedAndAFreshEditorOpensTheFile) {
    JournalScope journal(L"load-unsaved");
    MapEditors({{L"txt", StandinPath(L"notepad3.exe")}}, L"--unsaved");
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    HWND first = viewer.state->editor.window;
    const size_t before = LogSize();
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
    std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 2u);
    auto scintilla = Events(journal.Read(), "scintilla", pids[0]);
    for (const JournalEntry& entry : scintilla) EXPECT_NE(entry.detail, "2014");
    EXPECT_TRUE(CopiesOf(journal, pids[0]).empty());
    EXPECT_TRUE(ProcessRunning(pids[0]));
    EXPECT_TRUE(IsWindow(first));
    EXPECT_NE(GetAncestor(first, GA_PARENT), viewer.window);
    EXPECT_NE(viewer.state->editor.window, first);
    EXPECT_TRUE(LogHas(LogSince(before),
                       L"[LoadFile] editor holds unsaved changes: released, a new editor opens the file"));
}

// A viewer destroyed with a busy editor inside would take the editor's window, and its unsaved work,
// with it: its destruction waits (longer than any other bound) until the window is out.
TEST_F(LoadFileWithStandins, ViewerDestroyedWithABusyEditorInsideWaitsUntilItsWindowIsOut) {
    JournalScope journal(L"load-unsaved-busy");
    MapEditors({{L"txt", StandinPath(L"notepad3.exe")}}, L"--unsaved --busy-later=100:4500");
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    const DWORD pid = viewer.state->editor.processId;
    const HWND editor = viewer.state->editor.window;
    ASSERT_TRUE(journal.WaitForEvent("busy", kEndMs, pid));
    const size_t before = LogSize();
    const DWORD start = GetTickCount();
    viewer.DestroyViewer();
    EXPECT_LT(GetTickCount() - start, kViewerClosingDetachMs + 1500u);
    EXPECT_TRUE(IsWindow(editor));
    EXPECT_EQ(GetAncestor(editor, GA_PARENT), GetDesktopWindow());
    EXPECT_TRUE(journal.WaitForEvent("prompt", 3 * kEndMs, pid));
    EXPECT_TRUE(ProcessRunning(pid));
    auto entries = LogSince(before);
    EXPECT_EQ(
        testing_support::CountLogEntriesStartingWith(
            entries, L"[KillChild]   pid=" + std::to_wstring(pid) + L" out of the closing viewer after "),
        1);
}

TEST_F(LoadFileWithStandins, NoEditorForTheExtensionClosesTheRunningOne) {
    JournalScope journal(L"load-none");
    MapEditors({{L"txt", StandinPath(L"notepad3.exe")}});
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    const size_t before = LogSize();
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, L"C:\\velloquin-tests\\picture.png"));
    EXPECT_TRUE(LogHas(LogSince(before), L"[LoadFile] no viewer configured for this extension"));
    EXPECT_TRUE(Ended(StartedPids(journal).at(0)));
    EXPECT_TRUE(viewer.state->editor.path.empty());
}

TEST_F(LoadFileWithStandins, FocusTimerAfterAHandOffInThePaneAndAfterEveryLoadStandalone) {
    JournalScope journal(L"load-timer");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")}});
    SetBehaviour(false, true);
    TestViewer pane(true);
    ASSERT_TRUE(LoadFile(pane.window, *pane.state, kFileA.c_str()));
    EXPECT_FALSE(FocusTimerWasRunning(pane.window));
    ASSERT_TRUE(LoadFile(pane.window, *pane.state, kFileB.c_str()));
    EXPECT_TRUE(FocusTimerWasRunning(pane.window));

    TestViewer standalone(false);
    ASSERT_TRUE(LoadFile(standalone.window, *standalone.state, kFileA.c_str()));
    EXPECT_TRUE(FocusTimerWasRunning(standalone.window));
    SetBehaviour(false, false);
    ASSERT_TRUE(LoadFile(standalone.window, *standalone.state, kFileB.c_str()));
    EXPECT_FALSE(FocusTimerWasRunning(standalone.window));
}

// An editor that cannot be started leaves the pane saying which, why and what to do (it stayed blank).
TEST_F(LoadFileWithStandins, EditorThatCannotBeStartedIsNamedInThePaneWithWhyAndWhatToDo) {
    JournalScope journal(L"load-failed");
    const std::wstring folder = testing_support::MakeTempDir(L"not-started");
    CreateDirectoryW((folder + L"\\Notepad4.exe").c_str(), nullptr);
    testing_support::WriteFileText(folder + L"\\text.exe", "not a program");
    struct Case {
        std::wstring editor;
        const wchar_t* firstLine;
    };
    const Case cases[] = {
        {StandinPath(L"missing-editor.exe"), L"The editor could not be started: no file exists at this path"},
        {folder + L"\\gone\\Notepad3.exe", L"Notepad3 could not be started: the folder of this path does not exist"},
        {folder + L"\\Notepad4.exe", L"Notepad4 could not be started: this path is a folder, not a program"},
        {folder + L"\\text.exe", L"The editor could not be started: this file is not a Windows program"},
        {L"viewers\\ed.exe", L"The editor could not be started: this is not a full path (a drive letter, "
                             L"\\\\server\\share or a known folder alias)"},
    };
    TestViewer viewer(true);
    ShowWindow(viewer.top, SW_SHOWNORMAL);
    UpdateWindow(viewer.top);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing_support::Wide2Utf8(c.editor));
        MapEditors({{L"txt", c.editor}});
        const size_t before = LogSize();
        EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
        EXPECT_TRUE(LogHas(LogSince(before), L"[LoadFile] LoadFile return 0"));
        EXPECT_EQ(viewer.state->paneNote, std::wstring(c.firstLine) + L"\n" + c.editor +
                                              L"\nChoose the editor for the group \"group-txt\" in the "
                                              L"plug-in's settings.");
        EXPECT_GT(CountPixelsOtherThan(viewer.window, GetSysColor(COLOR_WINDOW)), 10);
    }
    EXPECT_TRUE(StartedPids(journal).empty());
}

}  // namespace
