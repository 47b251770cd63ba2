// Each hand-off as a running stand-in editor received it, across processes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/standin_journal.h"
#include "support/test_support.h"
#include "viewer/handoff.h"
#include "viewer/handoff_records.h"

using namespace standin;

namespace {

constexpr DWORD kStandinStartMs = 10000;
const std::wstring kFile = L"C:\\texts\\n\u00f6tes \"q\".txt";

struct RunningStandin {
    StartedProcess process;
    HWND window = nullptr;
};

RunningStandin Start(const JournalScope& journal, const std::wstring& fileName, const std::wstring& arguments = L"") {
    RunningStandin standin;
    standin.process = StartStandin(fileName, arguments.empty() ? L"\"C:\\first.txt\"" : arguments);
    if (standin.process.process && journal.WaitForEvent("window", kStandinStartMs, standin.process.pid))
        standin.window = WindowOf(Events(journal.Read(), "window", standin.process.pid).front());
    return standin;
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

std::vector<std::string> ScintillaMessagesOf(const JournalScope& journal, DWORD pid) {
    std::vector<std::string> messages;
    for (const JournalEntry& entry : Events(journal.Read(), "scintilla", pid)) messages.push_back(entry.detail);
    return messages;
}

TEST(StandinHandOff, NotepadFamiliesReceiveTheirRecordAfterTheSavePointMessages) {
    JournalScope journal(L"handoff-notepad");
    struct Case {
        const wchar_t* fileName;
        bool (*send)(HWND, const wchar_t*);
        NotepadFamily family;
    } cases[] = {{L"notepad3.exe", SendFileToNotepad3, NotepadFamily::Notepad3},
                 {L"notepad4.exe", SendFileToNotepad4, NotepadFamily::Notepad4}};
    for (const Case& c : cases) {
        RunningStandin editor = Start(journal, c.fileName);
        ASSERT_TRUE(IsWindow(editor.window));
        ASSERT_TRUE(c.send(editor.window, kFile.c_str()));
        EXPECT_EQ(ScintillaMessagesOf(journal, editor.process.pid), (std::vector<std::string>{"2159", "2014", "2026"}));
        std::vector<CopyData> copies = CopiesOf(journal, editor.process.pid);
        ASSERT_EQ(copies.size(), 1u);
        EXPECT_EQ(copies[0].dwData, 0xFB10u);
        EXPECT_EQ(copies[0].cbData, 2 * kFile.size() + 50);
        EXPECT_EQ(copies[0].bytes, BuildNotepadParamRecord(kFile, c.family));
    }
}

TEST(StandinHandOff, NotepadWithUnsavedChangesKeepsItsDocument) {
    JournalScope journal(L"handoff-unsaved");
    RunningStandin editor = Start(journal, L"notepad3.exe", L"--unsaved");
    ASSERT_TRUE(IsWindow(editor.window));
    EXPECT_FALSE(SendFileToNotepad3(editor.window, kFile.c_str()));
    EXPECT_EQ(ScintillaMessagesOf(journal, editor.process.pid), std::vector<std::string>{"2159"});
    EXPECT_TRUE(CopiesOf(journal, editor.process.pid).empty());
}

TEST(StandinHandOff, NotepadPPAndEmEditorReceiveTheirPathRecords) {
    JournalScope journal(L"handoff-copydata");
    RunningStandin npp = Start(journal, L"notepad++.exe");
    ASSERT_TRUE(SendFileToNotepadPP(npp.window, kFile.c_str()));
    std::vector<CopyData> copies = CopiesOf(journal, npp.process.pid);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].dwData, 2u);
    EXPECT_EQ(copies[0].cbData, 2 * kFile.size() + 6);
    EXPECT_EQ(copies[0].bytes, BuildNotepadPPRecord(kFile));
    EXPECT_TRUE(ScintillaMessagesOf(journal, npp.process.pid).empty());

    RunningStandin em = Start(journal, L"emeditor.exe");
    ASSERT_TRUE(SendFileToEmEditor(em.window, kFile.c_str()));
    copies = CopiesOf(journal, em.process.pid);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].dwData, 0xE3D17022u);
    EXPECT_EQ(copies[0].bytes, BuildEmEditorRecord(kFile));

    RunningStandin refusing = Start(journal, L"emeditor.exe", L"--copydata-zero");
    EXPECT_FALSE(SendFileToEmEditor(refusing.window, kFile.c_str()));
    EXPECT_EQ(CopiesOf(journal, refusing.process.pid).size(), 1u);
}

TEST(StandinHandOff, DropReachesOnlyTheEditorFrameOnce) {
    JournalScope journal(L"handoff-drop");
    for (const wchar_t* fileName : {L"everedit.exe", L"otheredit.exe"}) {
        RunningStandin editor = Start(journal, fileName);
        ASSERT_TRUE(SendFileByDrop(editor.window, kFile.c_str()));
        ASSERT_TRUE(journal.WaitForEvent("dropfiles", kStandinStartMs, editor.process.pid));
        // A second drop afterwards proves the first one was the only one in the queue.
        ASSERT_TRUE(SendFileByDrop(editor.window, kFile.c_str()));
        ASSERT_TRUE(testing_support::WaitFor(
            [&] { return Events(journal.Read(), "dropfiles", editor.process.pid).size() >= 2; }, kStandinStartMs));
        std::vector<JournalEntry> drops = Events(journal.Read(), "dropfiles", editor.process.pid);
        ASSERT_EQ(drops.size(), 2u);
        EXPECT_NE(drops[0].detail, "StandinEdit");
    }
}

TEST(StandinHandOff, HungEditorFailsTheHandOffInsteadOfFreezingTheHost) {
    JournalScope journal(L"handoff-hung");
    RunningStandin editor = Start(journal, L"notepad4.exe", L"--hang=2159");
    ASSERT_TRUE(IsWindow(editor.window));
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(SendFileToNotepad4(editor.window, kFile.c_str()));
    EXPECT_LT(GetTickCount64() - start, 5000u);
    EXPECT_TRUE(CopiesOf(journal, editor.process.pid).empty());
}

}  // namespace
