// The stand-in editors themselves: the launch and hand-off tests rely on these behaviours.

#include <gtest/gtest.h>

#include "support/standin_journal.h"
#include "support/test_support.h"

using namespace standin;
using testing_support::WaitFor;

namespace {

constexpr DWORD kStandinStartMs = 10000;
constexpr DWORD kStandinEndMs = 5000;

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

HWND StartAndWaitForWindow(const JournalScope& journal, const std::wstring& fileName,
                           const std::wstring& arguments, StartedProcess& started) {
    started = StartStandin(fileName, arguments);
    if (!started.process || !journal.WaitForEvent("window", kStandinStartMs, started.pid)) return nullptr;
    return WindowOf(Events(journal.Read(), "window", started.pid).front());
}

bool Ended(const StartedProcess& started) {
    return WaitForSingleObject(started.process.get(), kStandinEndMs) == WAIT_OBJECT_0;
}

}  // namespace

TEST(Standin, EachNameHasItsEditorsWindowClassesStaysHiddenAndClosesOnWmClose) {
    struct Expected {
        const wchar_t* fileName;
        const wchar_t* mainClass;
        const wchar_t* childClass;
    } cases[] = {
        {L"notepad3.exe", L"Notepad3", L"Scintilla"},
        {L"notepad4.exe", L"Notepad4", L"Scintilla"},
        {L"notepad++.exe", L"Notepad++", L"Scintilla"},
        {L"everedit.exe", L"EverEdit", L"StandinEdit"},
        {L"emeditor.exe", L"EmEditorMainFrame3", L"StandinEdit"},
        {L"otheredit.exe", L"StandinEditor", L"StandinEdit"},
    };
    JournalScope journal(L"standin-kinds");
    for (const Expected& expected : cases) {
        SCOPED_TRACE(testing_support::Wide2Utf8(expected.fileName));
        StartedProcess started;
        HWND main = StartAndWaitForWindow(journal, expected.fileName, L"\"C:\\some file.txt\"", started);
        ASSERT_TRUE(IsWindow(main));
        EXPECT_EQ(ClassName(main), expected.mainClass);
        EXPECT_TRUE(FindWindowExW(main, nullptr, expected.childClass, nullptr) != nullptr);
        EXPECT_FALSE(IsWindowVisible(main));
        // Notepad++ places its window after creating it.
        EXPECT_TRUE(WaitFor(
            [main] {
                RECT rect = {};
                GetWindowRect(main, &rect);
                return rect.right - rect.left >= 200 && rect.bottom - rect.top >= 200;
            },
            kStandinStartMs));
        EXPECT_EQ(CommandLineOf(journal.Read(), started.pid),
                  L"\"" + StandinPath(expected.fileName) + L"\" \"C:\\some file.txt\"");
        PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_TRUE(Ended(started));
        auto entries = journal.Read();
        EXPECT_EQ(Events(entries, "close", started.pid).size(), 1u);
        EXPECT_EQ(Events(entries, "exit", started.pid).size(), 1u);
    }
}

TEST(Standin, RecordsCopyDataScintillaMessagesAndDropsAndAnswersAsAsked) {
    JournalScope journal(L"standin-messages");
    StartedProcess started;
    HWND main = StartAndWaitForWindow(journal, L"notepad3.exe", L"--copydata-zero", started);
    ASSERT_TRUE(IsWindow(main));
    HWND scintilla = FindWindowExW(main, nullptr, L"Scintilla", nullptr);
    const uint8_t record[] = {1, 2, 0xAB, 0xFF};
    COPYDATASTRUCT data = {0xFB10, sizeof record, const_cast<uint8_t*>(record)};
    EXPECT_EQ(SendMessageW(main, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)), 0);
    EXPECT_EQ(SendMessageW(scintilla, 2159, 0, 0), 0);
    SendMessageW(scintilla, 2014, 0, 0);
    SendMessageW(scintilla, 2026, 0, 0);
    PostMessageW(scintilla, WM_DROPFILES, 0, 0);
    ASSERT_TRUE(journal.WaitForEvent("dropfiles", kStandinStartMs));
    auto entries = journal.Read();
    auto copies = Events(entries, "copydata");
    ASSERT_EQ(copies.size(), 1u);
    CopyData parsed;
    ASSERT_TRUE(ParseCopyData(copies[0], parsed));
    EXPECT_EQ(parsed.dwData, 0xFB10u);
    EXPECT_EQ(parsed.bytes, std::vector<uint8_t>(record, record + sizeof record));
    auto scintillaMessages = Events(entries, "scintilla");
    ASSERT_EQ(scintillaMessages.size(), 3u);
    EXPECT_EQ(scintillaMessages[0].detail, "2159");
    EXPECT_EQ(scintillaMessages[1].detail, "2014");
    EXPECT_EQ(scintillaMessages[2].detail, "2026");
    EXPECT_EQ(Events(entries, "dropfiles")[0].detail, "Scintilla");
}

TEST(Standin, UnsavedChangesAnswerTheModifyQueryAndWmCloseOpensAVisiblePrompt) {
    JournalScope journal(L"standin-unsaved");
    StartedProcess started;
    HWND main = StartAndWaitForWindow(journal, L"notepad4.exe", L"--unsaved", started);
    ASSERT_TRUE(IsWindow(main));
    EXPECT_EQ(SendMessageW(FindWindowExW(main, nullptr, L"Scintilla", nullptr), 2159, 0, 0), 1);
    PostMessageW(main, WM_CLOSE, 0, 0);
    ASSERT_TRUE(journal.WaitForEvent("prompt", kStandinStartMs));
    HWND prompt = nullptr;
    EXPECT_TRUE(
        WaitFor([&] { return (prompt = FindWindowW(L"StandinPrompt", nullptr)) && IsWindowVisible(prompt); },
                kStandinStartMs));
    EXPECT_TRUE(IsWindow(main));
    EXPECT_EQ(WaitForSingleObject(started.process.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST(Standin, ExitsAtOnceOrCreatesItsWindowLateAfterADecoyWhenAsked) {
    JournalScope journal(L"standin-misbehave");
    StartedProcess quitter = StartStandin(L"otheredit.exe", L"--exit=3");
    ASSERT_TRUE(Ended(quitter));
    DWORD code = 0;
    GetExitCodeProcess(quitter.process.get(), &code);
    EXPECT_EQ(code, 3u);

    StartedProcess late;
    HWND main = StartAndWaitForWindow(journal, L"everedit.exe", L"--decoy=tool --late=300", late);
    ASSERT_TRUE(IsWindow(main));
    auto entries = journal.Read();
    ASSERT_EQ(Events(entries, "decoy", late.pid).size(), 1u);
    EXPECT_GE(Events(entries, "window", late.pid)[0].tick, Events(entries, "start", late.pid)[0].tick + 250);
}
