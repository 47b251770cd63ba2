// LoadFile against stand-ins that behave as the real editors do where a hand-off can go wrong:
// Notepad4's record and its builds with another layout, Notepad++ ignoring a hand-off or piling up
// tabs, and paths too long for Notepad3/Notepad4.

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    void SetUp() override { SetBehaviour(false, false); }
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

TEST_F(RealEditors, NotepadPPHandOffThatIsIgnoredStartsAFreshEditorAndLaterFilesGoStraightToOne) {
    JournalScope journal(L"real-npp-ignored");
    MapEditors({{L"txt", StandinPath(L"notepad++.exe")}}, L"--sender-check");
    TestViewer viewer(true);
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    const size_t before = Log().size();
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
    std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 2u);
    EXPECT_EQ(Events(journal.Read(), "copydata-ignored", pids[0]).size(), 1u);
    EXPECT_EQ(FileArgument(journal, pids[1]), kFileB);
    auto entries = LogSince(before);
    EXPECT_FALSE(LogHas(entries, L"[LoadFile] LoadFile (Notepad++ WM_COPYDATA) return 1"));
    EXPECT_EQ(CountLogEntriesStartingWith(entries, L"[HandFileToNotepadPP] the title does not name the file"),
              1);

    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileC.c_str()));
    pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 3u);
    EXPECT_TRUE(Events(journal.Read(), "copydata", pids[1]).empty());
    EXPECT_EQ(CountLogEntriesStartingWith(LogSince(before), L"[LoadFile] the editor ignored the hand-off"),
              1);
}

TEST_F(RealEditors, NotepadPPDroppingOneLongPathStillGetsTheNextFileHandedOver) {
    JournalScope journal(L"real-npp-long");
    MapEditors({{L"txt", StandinPath(L"notepad++.exe")}});
    TestViewer viewer(true);
    const std::wstring longPath = L"C:\\velloquin-tests\\" + std::wstring(250, L'x') + L".txt";
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileA.c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, longPath.c_str()));
    ASSERT_TRUE(LoadFile(viewer.window, *viewer.state, kFileB.c_str()));
    const std::vector<DWORD> pids = StartedPids(journal);
    ASSERT_EQ(pids.size(), 2u);
    EXPECT_EQ(Events(journal.Read(), "tab-dropped", pids[0]).size(), 1u);
    EXPECT_EQ(Details(journal, "tab-open", pids[1]), (std::vector<std::wstring>{longPath, kFileB}));
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

    // A path without a short form (here: no such file) goes as it is, and the log says why.
    const std::wstring missing = first.substr(0, first.rfind(L'\\')) + L"\\not there.txt";
    const size_t before = Log().size();
    LoadFile(viewer.window, *viewer.state, missing.c_str());
    EXPECT_EQ(CountLogEntriesStartingWith(LogSince(before), L"[EditorFilePath] no short form of a path of " +
                                                                std::to_wstring(missing.size()) + L" units"),
              1);
}

}  // namespace
