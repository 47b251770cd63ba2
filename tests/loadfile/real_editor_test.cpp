// LoadFile against stand-ins that behave as the real editors do where a hand-off can go wrong:
// Notepad4's record and its builds with another layout, Notepad++ ignoring a hand-off or piling up
// tabs, and paths too long for Notepad3/Notepad4.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "embed/editor_registry.h"
#include "loadfile_support.h"
#include "support/standin_journal.h"
#include "viewer/load_file.h"

using namespace standin;
using namespace loadfile_test;
using testing_support::CountLogEntriesStartingWith;
using testing_support::LogHas;
using testing_support::Narrow2Wide;

namespace {

constexpr DWORD kJournalMs = 5000;
const std::wstring kFileA = L"C:\\velloquin-tests\\a.txt";
const std::wstring kFileB = L"C:\\velloquin-tests\\second file.txt";
const std::wstring kFileC = L"C:\\velloquin-tests\\c.txt";
const std::wstring kFileLog = L"C:\\velloquin-tests\\d.log";

std::vector<DWORD> StartedPids(const JournalScope& journal) {
    std::vector<DWORD> pids;
    for (const JournalEntry& entry : Events(journal.Read(), "start")) pids.push_back(entry.pid);
    return pids;
}

std::vector<std::wstring> Details(const JournalScope& journal, const char* event, DWORD pid) {
    std::vector<std::wstring> details;
    for (const JournalEntry& entry : Events(journal.Read(), event, pid))
        details.push_back(Narrow2Wide(entry.detail));
    return details;
}

// The file argument of a stand-in's command line: the text between its last two quotes.
std::wstring FileArgument(const JournalScope& journal, DWORD pid) {
    const std::wstring line = CommandLineOf(journal.Read(), pid);
    const size_t close = line.rfind(L'"');
    const size_t open =
        close == std::wstring::npos || close == 0 ? std::wstring::npos : line.rfind(L'"', close - 1);
    return open == std::wstring::npos ? std::wstring() : line.substr(open + 1, close - open - 1);
}

// What the file at path holds: a short form names the same file as the long one.
std::string ContentOf(const std::wstring& path) {
    const std::vector<uint8_t> bytes = testing_support::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// A file whose path is longer than 260 units: nested folders with long names under the temp folder.
std::wstring MakeLongPathFile(const std::wstring& name) {
    std::wstring folder = testing_support::MakeTempDir(L"long-path");
    const std::wstring part = L"\\a folder name that is long enough to need a short form of its own";
    for (int i = 0; i < 4; ++i) {
        folder += part + std::to_wstring(i);
        CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr);
    }
    const std::wstring file = folder + L"\\" + name;
    testing_support::WriteFileText(L"\\\\?\\" + file, testing_support::Wide2Utf8(name));
    return file;
}

class RealEditors : public ::testing::Test {
   protected:
    void SetUp() override {
        SetBehaviour(false, false);
        testing_support::EnsureFiles({kFileA, kFileB, kFileC, kFileLog});
    }
};

TEST_F(RealEditors, Notepad4ReadsRecordsThatLeaveItsFileWatchingAsTheUserHasIt) {
    JournalScope journal(L"real-np4-record");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")}});
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
    const std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 1u);
    // Offsets 0, 8, 12, 32 and the path at 48: load, change notify "not set", lexer, detect encoding.
    EXPECT_EQ(Details(journal, "np4params", pids[0]), std::vector<std::wstring>{L"1 2 0 -1 " + kFileB});
}

TEST_F(RealEditors, OldNotepad4BuildGetsAFreshEditorForEachFileAndOneLogLine) {
    JournalScope journal(L"real-np4-old");
    MapEditors({{L"txt", StandinPath(L"old\\notepad4.exe")}});
    TestViewer viewer(true);
    const size_t before = Log().size();
    for (const std::wstring& file : {kFileA, kFileB, kFileC})
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, file.c_str()));
    const std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 3u);
    EXPECT_TRUE(Events(journal.Read(), "copydata").empty());
    EXPECT_EQ(FileArgument(journal, pids[2]), kFileC);
    EXPECT_EQ(CountLogEntriesStartingWith(LogSince(before),
                                          L"[LoadFile] Notepad4 is not an x64 build of 24.9 or "
                                          L"later (machine 0x8664, file version 24.7.0.5400)"),
              1);
}

// Its current code takes WM_COPYDATA only from another Notepad++: the file goes by NPPM_DOOPEN,
// and so do the later ones, all in the one editor. Once it is stopped, the hand-off gives up within
// its bounds and the next editor is embedded at once: the stopped one, still inside the viewer, took
// the activation as it opened its last file, and no longer holds it.
TEST_F(RealEditors, NotepadPPThatIgnoresCopyDataGetsEveryFileByDoOpenInOneEditor) {
    JournalScope journal(L"real-npp-checking");
    // A copy: the plug-in remembers for the rest of this process that this build ignores WM_COPYDATA.
    MapEditors({{L"txt", StandinCopy(L"notepad++.exe")}, {L"log", StandinPath(L"notepad4.exe")}},
               L"--sender-check");
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    const size_t before = Log().size();
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileC.c_str()));
    const std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 1u);
    EXPECT_EQ(Events(journal.Read(), "copydata-ignored", pids[0]).size(), 1u);
    EXPECT_EQ(Details(journal, "doopen", pids[0]), (std::vector<std::wstring>{kFileB, kFileC}));
    EXPECT_EQ(Details(journal, "tab-close", pids[0]), (std::vector<std::wstring>{kFileA, kFileB}));
    EXPECT_EQ(viewer.state->currentFile, kFileC);
    const auto entries = LogSince(before);
    EXPECT_EQ(CountLogEntriesStartingWith(entries, L"[HandFileToNotepadPP] Notepad++ ignores WM_COPYDATA"),
              1);
    EXPECT_EQ(CountLogEntriesStartingWith(entries, L"[LoadFile] the editor ignored the hand-off"), 0);

    ASSERT_GT(SuspendThreadsOf(pids[0]), 0);
    DWORD start = GetTickCount();
    EXPECT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    EXPECT_LT(GetTickCount() - start, 5000u);  // one send's bound, not one per send
    start = GetTickCount();
    EXPECT_TRUE(LoadFile(viewer.window, *viewer.state, kFileLog.c_str()));
    EXPECT_LT(GetTickCount() - start, 2000u);
    SuspendThreadsOf(pids[0], true);
    viewer.DestroyViewer();
    for (DWORD pid : StartedPids(journal))
        EXPECT_TRUE(testing_support::WaitFor([pid] { return !ProcessRunning(pid); }, 3 * kJournalMs));
}

// Notepad++ opens paths of up to 258 units. A longer one starts nothing and is handed nothing: the
// pane says why, and an embedded Notepad++ (the user's tabs in it) stays for the next files.
TEST_F(RealEditors, NotepadPPFileItCannotOpenFailsAndLaterFilesAreStillHandedOver) {
    JournalScope journal(L"real-npp-refused");
    MapEditors({{L"txt", StandinPath(L"notepad++.exe")}});
    TestViewer viewer(true);
    const std::wstring folder = L"C:\\velloquin-tests\\";
    const std::wstring at258 = folder + std::wstring(258 - folder.size() - 4, L'x') + L".txt";
    const std::wstring at259 = folder + std::wstring(259 - folder.size() - 4, L'y') + L".txt";
    testing_support::EnsureFiles({at258, at259});
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, at258.c_str()));
    HWND editor = viewer.state->editor.window;
    const size_t before = Log().size();
    DWORD start = GetTickCount();
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, at259.c_str()));
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(viewer.state->paneNote, L"Notepad++ could not open this file");
    EXPECT_EQ(viewer.state->editor.window, editor);
    const auto shown = [editor] { return (GetWindowLongPtrW(editor, GWL_STYLE) & WS_VISIBLE) != 0; };
    EXPECT_TRUE(testing_support::WaitFor([&] { return !shown(); }, kJournalMs));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
    EXPECT_TRUE(viewer.state->paneNote.empty());
    EXPECT_TRUE(testing_support::WaitFor(shown, kJournalMs));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileC.c_str()));

    ClearViewer(viewer.window, *viewer.state);
    start = GetTickCount();
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, at259.c_str()));  // nothing launched
    EXPECT_LT(GetTickCount() - start, 1000u);
    EXPECT_EQ(viewer.state->paneNote, L"Notepad++ could not open this file");
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));

    const std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 2u);
    EXPECT_EQ(Details(journal, "tab-open", pids[0]),
              (std::vector<std::wstring>{kFileA, at258, kFileB, kFileC}));
    EXPECT_TRUE(Events(journal.Read(), "close", pids[0]).size() <= 1u);  // only the clear's
    EXPECT_EQ(Details(journal, "tab-open", pids[1]), (std::vector<std::wstring>{kFileA, kFileB}));
    EXPECT_TRUE(Events(journal.Read(), "tab-dropped").empty());
    const auto entries = LogSince(before);
    EXPECT_EQ(
        CountLogEntriesStartingWith(
            entries, L"[LoadFile] Notepad++ opens no path of 259 units or more: not shown, nothing started"),
        2);
    EXPECT_EQ(CountLogEntriesStartingWith(entries, L"[LoadFile] the editor ignored the hand-off"), 0);
}

// The user opened a file of their own in the embedded Notepad++, or switched to it: only the
// viewer's document is closed (switched to first), never theirs.
TEST_F(RealEditors, NotepadPPClosesOnlyTheDocumentTheViewerPutThere) {
    JournalScope journal(L"real-npp-user-tab");
    const std::wstring userFile = L"C:\\velloquin-tests\\user's own.txt";
    MapEditors({{L"txt", StandinPath(L"notepad++.exe")}}, L"\"--user-tab=" + userFile + L"\"");
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    const DWORD pid = StartedPids(journal).at(0);
    PostMessageW(viewer.state->editor.window, WM_APP + 1, 0, 0);  // [A, U<]
    ASSERT_TRUE(testing_support::WaitFor([&] { return Events(journal.Read(), "tab-open", pid).size() == 2; },
                                         kJournalMs));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));  // [U, B<]
    PostMessageW(viewer.state->editor.window, WM_APP + 2, 1, 0);           // [U, B], B active
    PostMessageW(viewer.state->editor.window, WM_APP + 2, 0, 0);           // [U<, B]
    ASSERT_TRUE(testing_support::WaitFor(
        [&] { return Events(journal.Read(), "tab-activate", pid).size() == 2; }, kJournalMs));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileC.c_str()));  // [U, C<]
    ASSERT_EQ(StartedPids(journal).size(), 1u);
    EXPECT_EQ(Details(journal, "tab-open", pid),
              (std::vector<std::wstring>{kFileA, userFile, kFileB, kFileC}));
    EXPECT_EQ(Details(journal, "tab-switch", pid), (std::vector<std::wstring>{kFileA, kFileB}));
    EXPECT_EQ(Details(journal, "tab-close", pid), (std::vector<std::wstring>{kFileA, kFileB}));
}

TEST_F(RealEditors, NotepadPPClosesTheShownDocumentBeforeTheNextUnlessItIsModified) {
    {
        JournalScope journal(L"real-npp-tabs");
        MapEditors({{L"txt", StandinPath(L"notepad++.exe")}});
        TestViewer viewer(true);
        // The shown file loaded again keeps its tab.
        for (const std::wstring& file : {kFileA, kFileB, kFileC, kFileC})
            ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, file.c_str()));
        const std::vector<DWORD> pids = StartedPids(journal);
        ASSERT_EQ(pids.size(), 1u);
        EXPECT_EQ(Details(journal, "tab-open", pids[0]), (std::vector<std::wstring>{kFileA, kFileB, kFileC}));
        EXPECT_EQ(Details(journal, "tab-close", pids[0]), (std::vector<std::wstring>{kFileA, kFileB}));
        EXPECT_EQ(Details(journal, "tab-show", pids[0]), std::vector<std::wstring>{kFileC});
    }
    {
        JournalScope journal(L"real-npp-modified");
        MapEditors({{L"txt", StandinPath(L"notepad++.exe")}}, L"--unsaved");
        TestViewer viewer(true);
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
        const std::vector<DWORD> pids = StartedPids(journal);
        ASSERT_EQ(pids.size(), 1u);
        EXPECT_EQ(Details(journal, "tab-open", pids[0]), (std::vector<std::wstring>{kFileA, kFileB}));
        EXPECT_TRUE(Events(journal.Read(), "tab-close", pids[0]).empty());
        EXPECT_TRUE(Events(journal.Read(), "tab-close-asked", pids[0]).empty());
    }
}

TEST_F(RealEditors, PathsOf260UnitsOrMoreReachNotepad4InTheirShortForm) {
    JournalScope journal(L"real-long-path");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")}});
    const std::wstring first = MakeLongPathFile(L"first long file.txt");
    const std::wstring second = MakeLongPathFile(L"second long file.txt");
    ASSERT_GE(first.size(), 260u);
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, first.c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, second.c_str()));
    const std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 1u);
    const std::wstring launched = FileArgument(journal, pids[0]);
    EXPECT_LT(launched.size(), 260u);
    EXPECT_EQ(ContentOf(launched), "first long file.txt");
    ASSERT_TRUE(journal.WaitForEvent("np4params", kJournalMs, pids[0]));
    const std::wstring handed = Details(journal, "np4params", pids[0]).at(0).substr(9);  // after "1 2 0 -1 "
    EXPECT_LT(handed.size(), 260u);
    EXPECT_EQ(ContentOf(handed), "second long file.txt");
    EXPECT_EQ(viewer.state->currentFile, second);
}

// A file of exactly `length` units in folder, holding its own name.
std::wstring MakeFileOfLength(const std::wstring& folder, size_t length, wchar_t fill) {
    const std::wstring path = folder + L"\\" + std::wstring(length - folder.size() - 5, fill) + L".txt";
    testing_support::WriteFileText(path, testing_support::Wide2Utf8(path.substr(folder.size() + 1)));
    return path;
}

// Notepad4 copies a quoted command-line argument with its quote into MAX_PATH units (259 units
// lose the last one), a record's path without it (259 units pass).
TEST_F(RealEditors, Notepad4GetsEachPathAsItselfAtTheLengthBoundaries) {
    JournalScope journal(L"real-np4-boundary");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")}});
    const std::wstring folder = testing_support::MakeTempDir(L"boundary");
    const std::wstring launch259 = MakeFileOfLength(folder, 259, L'a');
    const std::wstring record259 = MakeFileOfLength(folder, 259, L'b');
    const std::wstring record260 = MakeFileOfLength(folder, 260, L'c');
    const std::wstring launch258 = MakeFileOfLength(folder, 258, L'd');
    TestViewer viewer(true);
    for (const std::wstring& file : {launch259, record259, record260})
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, file.c_str()));
    ClearViewer(viewer.window, *viewer.state);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, launch258.c_str()));
    const std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 2u);
    EXPECT_TRUE(Events(journal.Read(), "not-found").empty());
    const std::vector<std::wstring> opened = Details(journal, "opened", pids[0]);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_LT(FileArgument(journal, pids[0]).size(), 259u);
    EXPECT_EQ(ContentOf(opened[0]), ContentOf(launch259));
    EXPECT_EQ(opened[1], record259);
    EXPECT_LT(opened[2].size(), 260u);
    EXPECT_EQ(ContentOf(opened[2]), ContentOf(record260));
    EXPECT_EQ(FileArgument(journal, pids[1]), launch258);
    EXPECT_EQ(Details(journal, "opened", pids[1]), std::vector<std::wstring>{launch258});
}

// Notepad4 expands %VARIABLES% in the names it is given, by command line and by record.
TEST_F(RealEditors, NamesWithPercentReachNotepad4OnlyInAFormItDoesNotExpand) {
    JournalScope journal(L"real-np4-percent");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")}});
    SetEnvironmentVariableW(L"VQ", L"expanded");
    SetEnvironmentVariableW(L"VQLONGER", L"expanded");
    const std::wstring folder = testing_support::MakeTempDir(L"percent");
    const std::wstring byLaunch = folder + L"\\%USERNAME%.txt";
    const std::wstring byRecord = folder + L"\\%VQLONGER%.txt";  // short form: one % only
    const std::wstring noForm = folder + L"\\%VQ%.TXT";          // its own short form: nothing avoids the %
    for (const std::wstring& file : {byLaunch, byRecord, noForm, folder + L"\\expanded.TXT"})
        testing_support::WriteFileText(file, testing_support::Wide2Utf8(file));
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, byLaunch.c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, byRecord.c_str()));
    const size_t before = Log().size();
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, noForm.c_str()));
    const std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 1u);
    const std::vector<std::wstring> opened = Details(journal, "opened", pids[0]);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(ContentOf(opened[0]), testing_support::Wide2Utf8(byLaunch));
    EXPECT_EQ(ContentOf(opened[1]), testing_support::Wide2Utf8(byRecord));
    EXPECT_EQ(Events(journal.Read(), "np4params", pids[0]).size(), 1u);
    EXPECT_EQ(viewer.state->editor.window, nullptr);
    EXPECT_EQ(viewer.state->paneNote,
              L"Not shown: this editor would read the %...% in the file name as a variable");
    EXPECT_TRUE(LogHas(LogSince(before),
                       L"[LoadFile] the editor would read %...% in this name as a variable and "
                       L"no short form avoids it: not shown [" +
                           noForm + L"]"));
}

// Notepad4 asks "not found, create?" for a file that is gone: modal, inside the hand-off's send.
TEST_F(RealEditors, MissingFileStartsNothingAndThePaneSaysWhy) {
    JournalScope journal(L"real-missing");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")}});
    const std::wstring missing = testing_support::MakeTempDir(L"missing") + L"\\gone.txt";
    TestViewer viewer(true);
    ShowWindow(viewer.top, SW_SHOWNORMAL);
    UpdateWindow(viewer.top);
    const size_t before = Log().size();
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, missing.c_str()));
    EXPECT_TRUE(StartedPids(journal).empty());
    EXPECT_EQ(viewer.state->paneNote, L"File not found: " + missing);
    EXPECT_GT(CountPixelsOtherThan(viewer.window, GetSysColor(COLOR_WINDOW)), 10);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    EXPECT_EQ(viewer.state->paneNote, L"");
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, missing.c_str()));
    const std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 1u);
    EXPECT_TRUE(Events(journal.Read(), "copydata").empty());
    EXPECT_EQ(viewer.state->editor.window, nullptr);
    EXPECT_EQ(CountLogEntriesStartingWith(
                  LogSince(before), L"[LoadFile] file not found, no editor started: [" + missing + L"]"),
              2);
}

TEST_F(RealEditors, HandOffAnsweredWithAQuestionGivesThatEditorBackWithoutASecond) {
    JournalScope journal(L"real-question");
    MapEditors({{L"txt", StandinPath(L"notepad4.exe")}}, L"--question-on-copydata");
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    const size_t before = Log().size();
    EXPECT_FALSE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
    const std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 1u);
    ASSERT_EQ(Events(journal.Read(), "question", pids[0]).size(), 1u);
    EXPECT_TRUE(Events(journal.Read(), "question-answered", pids[0]).empty());
    HWND editor = WindowOf(Events(journal.Read(), "window", pids[0]).at(0));
    EXPECT_TRUE(testing_support::WaitFor(
        [editor] { return GetAncestor(editor, GA_PARENT) == GetDesktopWindow() && IsWindowVisible(editor); },
        kJournalMs));
    EXPECT_TRUE(ProcessRunning(pids[0]));
    EXPECT_EQ(viewer.state->editor.window, nullptr);
    EXPECT_EQ(viewer.state->editor.processId, 0u);
    EXPECT_EQ(viewer.state->paneNote,
              L"The editor asks a question: it is back on the desktop, answer it there");
    EXPECT_TRUE(
        LogHas(LogSince(before),
               L"[LoadFile] the editor answered the hand-off with a window of its own: given back to the "
               L"desktop with it, no new editor started"));

    // Answered, it holds nothing of the user's: it is not left empty on the desktop.
    PostMessageW(WindowOf(Events(journal.Read(), "question", pids[0]).at(0)), WM_CLOSE, 0, 0);
    EXPECT_TRUE(journal.WaitForEvent("question-answered", kJournalMs, pids[0]));
    EXPECT_TRUE(testing_support::WaitFor([&] { return !ProcessRunning(pids[0]); }, 3 * kJournalMs));
    EXPECT_TRUE(LogHas(Log(), L"[ReleaseAskingChild]   pid=" + std::to_wstring(pids[0]) +
                                  L" holds nothing after its question was answered: asked to close"));
}

// An edited document behind the shown one, or a "new 1" with text: the title and the text view say
// nothing of them. At the host's exit such a Notepad++ is given back, never ended.
TEST_F(RealEditors, NotepadPPWithUnsavedWorkInABackgroundTabIsNeverEndedAtTheHostsExit) {
    for (const bool newText : {false, true}) {
        SCOPED_TRACE(newText ? "new 1 with text" : "edited background tab");
        JournalScope journal(L"real-npp-exit");
        MapEditors({{L"txt", StandinPath(L"notepad++.exe")}}, newText ? L"" : L"--unsaved");
        TestViewer viewer(true);
        ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
        const DWORD pid = StartedPids(journal).at(0);
        HWND editor = viewer.state->editor.window;
        if (newText) {
            PostMessageW(editor, WM_APP + 3, 0, 0);  // [A, new 1*<]
            PostMessageW(editor, WM_APP + 2, 0, 0);  // [A<, new 1*]
            ASSERT_TRUE(journal.WaitForEvent("tab-activate", kJournalMs, pid));
        } else {
            ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));  // [A*, B<]
        }
        ReleaseEditorsAtProcessExit(GuardedEditorsNow(), 300);
        EXPECT_TRUE(
            LogHas(Log(), L"[ReleaseEditorsAtProcessExit] pid=" + std::to_wstring(pid) +
                              L" may hold unsaved work: given back to the desktop as its host exits"));
        EXPECT_TRUE(journal.WaitForEvent("prompt", kJournalMs, pid));
        EXPECT_TRUE(ProcessRunning(pid));
        UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (process) TerminateProcess(process.get(), 0);
        EXPECT_TRUE(testing_support::WaitFor([pid] { return !ProcessRunning(pid); }, kJournalMs));
    }
}

}  // namespace
