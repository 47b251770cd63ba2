// "Keep editors ready" with the stand-in editors: an editor left by a change of group is kept
// hidden and handed its group's next file, never one with unsaved work; at most three are kept;
// they end with the viewer or the setting; one that ended is replaced; the first group's editor
// is started before the first file.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "config/config_lock.h"
#include "config/plugin_config.h"
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

// A file that exists, as the host's selection does.
std::wstring TestFile(const std::wstring& name) {
    const std::wstring path = L"C:\\velloquin-tests\\" + name;
    testing_support::EnsureFiles({path});
    return path;
}

void KeepEditorsReady(bool on) {
    ConfigLockGuard lock;
    pluginConfig.keepEditorsReady = on;
}

// A second copy of a stand-in under another path: an editor of its own for the plug-in.
std::wstring StandinCopy(const std::wstring& fileName) {
    static const std::wstring folder = testing_support::MakeTempDir(L"standin-copies");
    const std::wstring copy = folder + L"\\" + fileName;
    CopyFileW(StandinPath(fileName).c_str(), copy.c_str(), FALSE);
    return copy;
}

// The pid of the stand-in started for each load, in order; 0 for a load that started none.
std::vector<DWORD> StartedPids(const JournalScope& journal) {
    std::vector<DWORD> pids;
    for (const JournalEntry& entry : Events(journal.Read(), "start")) pids.push_back(entry.pid);
    return pids;
}

HWND MainWindowOf(const JournalScope& journal, DWORD pid) {
    std::vector<JournalEntry> windows = Events(journal.Read(), "window", pid);
    return windows.empty() ? nullptr : WindowOf(windows.front());
}

// The window's own visibility: the test viewer's top-level window is never shown.
bool HasVisibleStyle(HWND window) {
    return (GetWindowLongPtrW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

// It leaves the viewer on a worker: waited for.
bool IsKeptHidden(HWND editor, const TestViewer& viewer) {
    return WaitFor(
        [&] {
            return IsWindow(editor) && !HasVisibleStyle(editor) &&
                   GetAncestor(editor, GA_PARENT) != viewer.window;
        },
        kEndMs);
}

// A kept editor goes back into the viewer on a worker: waited for.
bool IsEmbedded(HWND editor, const TestViewer& viewer) {
    return WaitFor([&] { return IsWindow(editor) && GetAncestor(editor, GA_PARENT) == viewer.window; },
                   kEndMs);
}

bool Ended(DWORD pid) {
    return WaitFor([pid] { return !ProcessRunning(pid); }, kEndMs);
}

std::vector<std::vector<uint8_t>> RecordsReceived(const JournalScope& journal, DWORD pid) {
    std::vector<std::vector<uint8_t>> records;
    for (const JournalEntry& entry : Events(journal.Read(), "copydata", pid)) {
        CopyData copy;
        if (ParseCopyData(entry, copy)) records.push_back(copy.bytes);
    }
    return records;
}

class KeepEditorsReadyTest : public ::testing::Test {
   protected:
    void SetUp() override {
        SetBehaviour(false, false);
        KeepEditorsReady(true);
    }
    void TearDown() override { KeepEditorsReady(false); }
};

TEST_F(KeepEditorsReadyTest, AnEditorLeftByAChangeOfGroupIsKeptAndHandedItsGroupsNextFile) {
    JournalScope journal(L"keep-reuse");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")},
                {L"log", StandinPath(L"notepad3.exe")},
                {L"cpp", StandinPath(L"notepad++.exe")}});
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"a.txt").c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"b.log").c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"c.cpp").c_str()));
    std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 3u);
    const HWND notepad4 = MainWindowOf(journal, pids[0]);
    const HWND notepad3 = MainWindowOf(journal, pids[1]);
    const HWND notepadPP = MainWindowOf(journal, pids[2]);
    EXPECT_TRUE(IsKeptHidden(notepad4, viewer));
    EXPECT_TRUE(IsKeptHidden(notepad3, viewer));
    EXPECT_TRUE(IsEmbedded(notepadPP, viewer));
    EXPECT_EQ(viewer.state->keptEditors.size(), 2u);

    const size_t before = Log().size();
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"second.txt").c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"second.cpp").c_str()));
    EXPECT_EQ(StartedPids(journal).size(), 3u) << "a kept editor was started again";
    std::vector<std::vector<uint8_t>> notepad4Records = RecordsReceived(journal, pids[0]);
    ASSERT_EQ(notepad4Records.size(), 1u);
    EXPECT_EQ(notepad4Records[0], BuildNotepadParamRecord(TestFile(L"second.txt"), NotepadFamily::Notepad4));
    std::vector<std::vector<uint8_t>> nppRecords = RecordsReceived(journal, pids[2]);
    ASSERT_EQ(nppRecords.size(), 1u);
    EXPECT_EQ(nppRecords[0], BuildNotepadPPRecord(TestFile(L"second.cpp")));
    // The tab it showed when it was put away is the viewer's own: closed, not left to pile up.
    EXPECT_TRUE(journal.WaitForEvent("tab-close", kEndMs, pids[2]));
    EXPECT_TRUE(IsEmbedded(notepadPP, viewer));
    EXPECT_TRUE(WaitFor([&] { return HasVisibleStyle(notepadPP); }, kEndMs));
    EXPECT_TRUE(IsKeptHidden(notepad4, viewer));
    EXPECT_EQ(viewer.state->currentFile, TestFile(L"second.cpp"));
    std::vector<std::wstring> entries = LogSince(before);
    EXPECT_TRUE(LogHas(entries, L"[LoadFile] LoadFile (Notepad4 WM_COPYDATA) return 1"));
    EXPECT_TRUE(LogHas(entries, L"[LoadFile] LoadFile (Notepad++ WM_COPYDATA) return 1"));
    EXPECT_EQ(testing_support::CountLogEntriesStartingWith(entries, L"[LaunchAndEmbed] CreateProcessW OK"),
              0);
    for (DWORD pid : pids) EXPECT_TRUE(ProcessRunning(pid));
}

TEST_F(KeepEditorsReadyTest, AnEditorWithUnsavedWorkIsClosedAsUsualNeverKept) {
    // The third: Notepad++ left the modified document open in a tab behind the next file, whose
    // title and text control say "unmodified".
    const struct {
        const wchar_t* editor;
        std::vector<std::wstring> files;
    } cases[] = {{L"notepad4.exe", {L"a.txt"}},
                 {L"notepad++.exe", {L"a.txt"}},
                 {L"notepad++.exe", {L"a.txt", L"a2.txt"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing_support::Wide2Utf8(c.editor) + " " + std::to_string(c.files.size()));
        JournalScope journal(L"keep-unsaved");
        MapEditors({{L"txt", StandinPath(c.editor)}, {L"log", StandinPath(L"notepad3.exe")}}, L"--unsaved");
        TestViewer viewer(true);
        for (const std::wstring& file : c.files)
            ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(file).c_str()));
        const size_t before = Log().size();
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"b.log").c_str()));
        std::vector<DWORD> pids = StartedPids(journal);
        ASSERT_EQ(pids.size(), 2u);
        EXPECT_TRUE(viewer.state->keptEditors.empty());
        // Given back to the desktop with its question, as without the setting.
        const HWND modified = MainWindowOf(journal, pids[0]);
        EXPECT_TRUE(WaitFor(
            [&] {
                return IsWindowVisible(modified) && GetAncestor(modified, GA_PARENT) == GetDesktopWindow();
            },
            kEndMs));
        EXPECT_TRUE(journal.WaitForEvent("prompt", kEndMs, pids[0]));
        std::vector<std::wstring> entries = LogSince(before);
        EXPECT_TRUE(LogHas(entries, L"[KeepEditor] pid=" + std::to_wstring(pids[0]) +
                                        L" may hold unsaved work: closed, not kept"));
    }
}

// The user opens a file from Explorer with the same notepad++.exe: that instance looks for a
// top-level Notepad++ window to hand it to. Neither the embedded nor the kept one may be found.
TEST_F(KeepEditorsReadyTest, TheUsersOwnNotepadPPNeverFindsAnEmbeddedOrKeptOne) {
    JournalScope journal(L"keep-users-npp");
    MapEditors({{L"cpp", StandinPath(L"notepad++.exe")}, {L"txt", StandinPath(L"notepad4.exe")}});
    TestViewer viewer(true);
    const std::wstring usersFile = TestFile(L"user's.cpp");
    for (const wchar_t* name : {L"c.cpp", L"a.txt"}) {
        SCOPED_TRACE(testing_support::Wide2Utf8(name));
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(name).c_str()));
        const DWORD npp = StartedPids(journal).at(0);
        ASSERT_TRUE(IsWindow(MainWindowOf(journal, npp)));
        StartedProcess users = StartStandin(L"notepad++.exe", L"\"" + usersFile + L"\"", SW_SHOWNORMAL);
        ASSERT_TRUE(users.pid != 0);
        EXPECT_TRUE(journal.WaitForEvent("window", kEndMs, users.pid)) << "it handed its file over";
        EXPECT_TRUE(Events(journal.Read(), "handover", users.pid).empty());
        EXPECT_TRUE(Events(journal.Read(), "copydata", npp).empty());
        TerminateProcess(users.process.get(), 0);
        EXPECT_TRUE(Ended(users.pid));
    }
    EXPECT_EQ(viewer.state->keptEditors.size(), 1u);
}

// Kept: the first three editors; the first is taken back and put away again, so the second is
// the one used longest ago when a fourth would be kept.
TEST_F(KeepEditorsReadyTest, AFourthKeptEditorClosesTheLeastRecentlyUsedOne) {
    JournalScope journal(L"keep-lru");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")},
                {L"log", StandinPath(L"notepad3.exe")},
                {L"cpp", StandinPath(L"notepad++.exe")},
                {L"md", StandinCopy(L"notepad4.exe")},
                {L"ini", StandinCopy(L"notepad3.exe")}});
    TestViewer viewer(true);
    for (const wchar_t* name : {L"a.txt", L"b.log", L"c.cpp", L"d.md", L"a2.txt"})
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(name).c_str())) << name;
    std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 4u);
    EXPECT_EQ(viewer.state->keptEditors.size(), 3u);

    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"e.ini").c_str()));
    ASSERT_EQ(StartedPids(journal).size(), 5u);
    EXPECT_EQ(viewer.state->keptEditors.size(), 3u);
    EXPECT_TRUE(Ended(pids[1])) << "the least recently used (notepad3) was not closed";
    EXPECT_TRUE(ProcessRunning(pids[0]));
    EXPECT_TRUE(ProcessRunning(pids[2]));
    EXPECT_TRUE(ProcessRunning(pids[3]));
    EXPECT_TRUE(journal.WaitForEvent("close", kEndMs, pids[1]));
    EXPECT_TRUE(LogHas(Log(), L"[KeepEditor] more than 3 editors kept: the least recently used pid=" +
                                  std::to_wstring(pids[1]) + L" [" + StandinPath(L"notepad3.exe") +
                                  L"] is closed"));
}

TEST_F(KeepEditorsReadyTest, TurningTheSettingOffAndClosingTheViewerCloseEveryKeptEditor) {
    JournalScope journal(L"keep-close");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")},
                {L"log", StandinPath(L"notepad3.exe")},
                {L"cpp", StandinPath(L"notepad++.exe")}});
    {
        TestViewer viewer(true);
        for (const wchar_t* name : {L"a.txt", L"b.log", L"c.cpp"})
            ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(name).c_str()));
        std::vector<DWORD> pids = StartedPids(journal);
        ASSERT_EQ(pids.size(), 3u);
        KeepEditorsReady(false);
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"d.cpp").c_str()));
        EXPECT_TRUE(viewer.state->keptEditors.empty());
        EXPECT_TRUE(Ended(pids[0]));
        EXPECT_TRUE(Ended(pids[1]));
        EXPECT_TRUE(ProcessRunning(pids[2]));
        EXPECT_TRUE(LogHas(Log(), L"[KeepEditor] 2 kept editors closed: Keep editors ready is off"));
    }
    KeepEditorsReady(true);
    TestViewer viewer(true);
    for (const wchar_t* name : {L"a.txt", L"b.log", L"c.cpp"})
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(name).c_str()));
    std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 6u);
    ASSERT_EQ(viewer.state->keptEditors.size(), 2u);
    viewer.DestroyViewer();
    for (size_t i = 3; i < 6; ++i) EXPECT_TRUE(Ended(pids[i])) << i;
    EXPECT_TRUE(LogHas(Log(), L"[KeepEditor] 2 kept editors closed: the viewer is closed"));
}

// The second case suspends the kept editor's threads once it is put away: it no longer answers.
TEST_F(KeepEditorsReadyTest, AKeptEditorThatEndedOrStoppedAnsweringIsReplacedByAFreshOne) {
    const struct {
        bool suspend;
        const wchar_t* line;
    } cases[] = {{false, L"] has ended: a fresh one is started"},
                 {true, L"] does not answer: dropped, a fresh one is started"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suspend ? "suspended" : "ended");
        JournalScope journal(L"keep-ended");
        MapEditors({{L"txt", StandinPath(L"notepad4.exe")}, {L"log", StandinPath(L"notepad3.exe")}});
        TestViewer viewer(true);
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"a.txt").c_str()));
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"b.log").c_str()));
        std::vector<DWORD> pids = StartedPids(journal);
        ASSERT_EQ(pids.size(), 2u);
        ASSERT_EQ(viewer.state->keptEditors.size(), 1u);
        ASSERT_TRUE(IsKeptHidden(MainWindowOf(journal, pids[0]), viewer));
        if (c.suspend) {
            ASSERT_GT(SuspendThreadsOf(pids[0]), 0);
        } else {
            UniqueHandle kept(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pids[0]));
            ASSERT_TRUE(kept);
            TerminateProcess(kept.get(), 9);
            WaitForSingleObject(kept.get(), kEndMs);
        }
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"a2.txt").c_str()));
        pids = StartedPids(journal);
        ASSERT_EQ(pids.size(), 3u);
        EXPECT_TRUE(Ended(pids[0]));
        EXPECT_TRUE(IsEmbedded(MainWindowOf(journal, pids[2]), viewer));
        EXPECT_NE(CommandLineOf(journal.Read(), pids[2]).find(TestFile(L"a2.txt")), std::wstring::npos);
        EXPECT_TRUE(LogHas(Log(), L"[KeepEditor] kept editor pid=" + std::to_wstring(pids[0]) + L" [" +
                                      StandinPath(L"notepad4.exe") + c.line));
    }
}

// The first mapping row's group decides which editor is started before the first file.
TEST_F(KeepEditorsReadyTest, TheFirstGroupsEditorIsStartedHiddenAndTheFirstFileHandedToIt) {
    JournalScope journal(L"keep-first");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")}, {L"log", StandinPath(L"notepad3.exe")}});
    {
        ConfigLockGuard lock;
        pluginConfig.mappings = {{L"Group-TXT", L"txt", StandinPath(L"notepad4.exe")},
                                 {L"group-log", L"log", StandinPath(L"notepad3.exe")}};
    }
    TestViewer viewer(true);
    StartEditorReady(viewer.window, *viewer.state);
    std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 1u);
    EXPECT_EQ(CommandLineOf(journal.Read(), pids[0]).find(L"a.txt"), std::wstring::npos);
    EXPECT_TRUE(IsKeptHidden(MainWindowOf(journal, pids[0]), viewer));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, TestFile(L"a.txt").c_str()));
    EXPECT_EQ(StartedPids(journal).size(), 1u);
    EXPECT_EQ(RecordsReceived(journal, pids[0]).size(), 1u);
    EXPECT_TRUE(IsEmbedded(MainWindowOf(journal, pids[0]), viewer));
    {
        ConfigLockGuard lock;
        pluginConfig.mappings.clear();
    }
}

}  // namespace
