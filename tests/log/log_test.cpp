// The diagnostic log, driven through the product code linked into this program. The file that
// is checked is the one the log really writes, read byte by byte.

#include "log/log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "common/version.h"
#include "log/log_format.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

std::wstring logFolder;

// Sets the temporary folder before anything logs, then makes the very first log calls of the
// process from two threads at once: initialisation must happen exactly once.
class FirstUseEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        logFolder = MakeTempDir(L"log");
        UseTempFolder(logFolder);
        HANDLE go = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        auto writer = [go](const wchar_t* text) {
            WaitForSingleObject(go, 5000);
            LogWrite(text);
        };
        std::thread a(writer, L"[FirstUse] thread a\r\n");
        std::thread b(writer, L"[FirstUse] thread b\r\n");
        SetEvent(go);
        a.join();
        b.join();
        CloseHandle(go);
    }
};
const auto* const firstUse = ::testing::AddGlobalTestEnvironment(new FirstUseEnvironment);

std::wstring LogPath() {
    return logFolder + L"\\velloquin.log";
}

std::wstring ReadRawText() {
    std::vector<uint8_t> bytes = ReadFileBytes(LogPath());
    std::wstring text(bytes.size() / 2, L'\0');
    if (!text.empty()) std::memcpy(&text[0], bytes.data(), text.size() * 2);
    return text;
}

// Moves the log file to a new name, as a user or another program may do while the plug-in runs.
// (A deletion would do on Windows, which reports it on the open handle; Wine 8 keeps a deleted
// file that another handle holds open until that handle closes, and reports nothing.)
// The log looks at the path once per tick of the system clock, so the next entry is the first
// one after the clock moved on.
std::wstring MoveLogAway() {
    static int moves = 0;
    std::wstring moved = LogPath() + L".moved" + std::to_wstring(++moves);
    EXPECT_TRUE(MoveFileExW(LogPath().c_str(), moved.c_str(), MOVEFILE_REPLACE_EXISTING));
    ULONGLONG moveTick = GetTickCount64();
    EXPECT_TRUE(WaitFor([moveTick] { return GetTickCount64() != moveTick; }, 1000));
    return moved;
}

size_t Count(const std::wstring& text, const std::wstring& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

}  // namespace

TEST(LogFile, LivesInTheTemporaryFolderAndFirstUseFromTwoThreadsWritesBothEntriesAfterOneMark) {
    EXPECT_EQ(std::wstring(LogFilePath()), LogPath());
    std::vector<uint8_t> bytes = ReadFileBytes(LogPath());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    std::wstring text = ReadRawText();
    EXPECT_EQ(Count(text, std::wstring(1, wchar_t(0xFEFF))), 1u);
    auto entries = ReadLogEntries(LogPath());
    EXPECT_TRUE(LogHas(entries, L"[FirstUse] thread a"));
    EXPECT_TRUE(LogHas(entries, L"[FirstUse] thread b"));
}

TEST(LogFile, EntryIsTimestampPrefixThenMessageExactly) {
    LogWrite(L"[LogTest] plain entry\r\n");
    std::wstring text = ReadRawText();
    size_t at = text.rfind(L"[LogTest] plain entry\r\n");
    ASSERT_NE(at, std::wstring::npos);
    ASSERT_GE(at, 26u);
    std::wstring prefix = text.substr(at - 26, 26);
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t year[8];
    swprintf(year, 8, L"[%04d-", now.wYear);
    EXPECT_EQ(prefix.substr(0, 6), year);
    // [YYYY-MM-DD hh:mm:ss.mmm] with digits everywhere else
    const wchar_t* shape = L"[####-##-## ##:##:##.###] ";
    for (size_t i = 0; i < 26; ++i) {
        if (shape[i] == L'#') EXPECT_TRUE(iswdigit(prefix[i])) << i;
        else EXPECT_EQ(prefix[i], shape[i]) << i;
    }
}

TEST(LogFile, NullMessagesWriteNothingAndEmptyWriteGivesPrefixOnly) {
    size_t before = ReadFileBytes(LogPath()).size();
    LogWrite(nullptr);
    LogPrintf(nullptr);
    EXPECT_EQ(ReadFileBytes(LogPath()).size(), before);
    LogWrite(L"");
    EXPECT_EQ(ReadFileBytes(LogPath()).size(), before + 26 * 2);
    LogWrite(L"\r\n");  // end the prefix-only entry for the tests that follow
}

TEST(LogFile, PrintfFormatsWideStringsSizesPointersAndHexAndAddsLineEnd) {
    LogPrintf(L"[LogTest] s=[%ls] zu=%zu lld=%lld d=%d lu=%lu p=0x%p X=%08X x4=%04X", L"w\u00e9rt", size_t(42),
              -5LL, -7, 4000000000ul, reinterpret_cast<void*>(0xAB12), 0xBEEFu, 0x8F14u);
    auto entries = ReadLogEntries(LogPath());
    ASSERT_GE(entries.size(), 1u);
    EXPECT_EQ(entries.back(),
              L"[LogTest] s=[w\u00e9rt] zu=42 lld=-5 d=-7 lu=4000000000 p=0x000000000000AB12 X=0000BEEF x4=8F14");
}

TEST(LogFile, PrintfKeepsALineFeedEndingAsItIs) {
    LogPrintf(L"[LogTest] own line end %d\n", 1);
    LogWrite(L"[LogTest] next\r\n");
    std::wstring text = ReadRawText();
    EXPECT_NE(text.find(L"[LogTest] own line end 1\n["), std::wstring::npos);
}

TEST(LogFile, LongFormattedMessagesAlwaysEndTheirLine) {
    for (size_t length : {2045u, 2046u, 2047u, 2048u, 5000u}) {
        std::wstring body(length, L'x');
        LogPrintf(L"%ls", body.c_str());
        LogWrite(L"[LogTest] after long\r\n");
        auto entries = ReadLogEntries(LogPath());
        ASSERT_GE(entries.size(), 2u);
        EXPECT_EQ(entries[entries.size() - 1], L"[LogTest] after long") << length;
        EXPECT_EQ(entries[entries.size() - 2], std::wstring(length <= 2045 ? length : 2045, L'x')) << length;
    }
}

TEST(LogFile, DeletedFileIsCreatedAgainWithAMark) {
    ASSERT_TRUE(DeleteFileW(LogPath().c_str()));
    LogWrite(L"[LogTest] fresh\r\n");
    std::vector<uint8_t> bytes = ReadFileBytes(LogPath());
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(Count(ReadRawText(), std::wstring(1, wchar_t(0xFEFF))), 1u);
}

TEST(LogFile, EntriesFromManyThreadsNeverInterleave) {
    MoveLogAway();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i) LogPrintf(L"[LogTest] thread %d entry %d", t, i);
        });
    }
    for (auto& thread : threads) thread.join();
    auto entries = ReadLogEntries(LogPath());
    ASSERT_EQ(entries.size(), 200u);
    for (int t = 0; t < 4; ++t) {
        for (int i = 0; i < 50; ++i) {
            EXPECT_TRUE(LogHas(entries, L"[LogTest] thread " + std::to_wstring(t) + L" entry " + std::to_wstring(i)));
        }
    }
}

TEST(LogFile, LoggingLeavesTheLastErrorAlone) {
    SetLastError(1234);
    LogWrite(L"[LogTest] keep error\r\n");
    EXPECT_EQ(GetLastError(), 1234u);
    SetLastError(4321);
    LogPrintf(L"[LogTest] keep error %d", 2);
    EXPECT_EQ(GetLastError(), 4321u);
}

// Whoever reads a log, from the first entries or after a rotation, learns which build wrote it.
TEST(LogFile, EachNewFileBeginsWithALineThatNamesTheVersion) {
    const std::wstring versionLine =
        std::wstring(L"[velloquin] velloquin ") + VELLOQUIN_VERSION_WIDE + L"\r\n";
    EXPECT_EQ(ReadRawText().substr(1 + 26, versionLine.size()), versionLine);
    MoveLogAway();
    LogWrite(L"[LogTest] first of a new file\r\n");
    const std::wstring text = ReadRawText();
    ASSERT_GE(text.size(), 1 + 26 + versionLine.size());
    EXPECT_EQ(text.substr(1 + 26, versionLine.size()), versionLine);
    EXPECT_EQ(text.substr(1 + 26 + versionLine.size() + 26), L"[LogTest] first of a new file\r\n");
    EXPECT_EQ(ReadLogEntries(LogPath()), std::vector<std::wstring>{L"[LogTest] first of a new file"});
}

TEST(LogFile, UnopenableFileDropsTheEntryAndTheNextOneTriesAgain) {
    MoveLogAway();  // the log holds its file open; a new one at the path can be locked
    HANDLE locked = CreateFileW(LogPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    LogWrite(L"[LogTest] lost\r\n");
    CloseHandle(locked);
    LogWrite(L"[LogTest] kept\r\n");
    auto entries = ReadLogEntries(LogPath());
    EXPECT_FALSE(LogHas(entries, L"[LogTest] lost"));
    EXPECT_TRUE(LogHas(entries, L"[LogTest] kept"));
}

TEST(LogFile, StaysOpenBetweenEntriesAndFollowsARenameWithANewFile) {
    LogWrite(L"[LogTest] before rename\r\n");
    // Open means: a program that will not share writing cannot open it.
    HANDLE exclusive = CreateFileW(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(exclusive, INVALID_HANDLE_VALUE);
    if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
    std::wstring moved = MoveLogAway();
    LogWrite(L"[LogTest] after rename\r\n");
    std::vector<uint8_t> bytes = ReadFileBytes(LogPath());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(ReadLogEntries(LogPath()), std::vector<std::wstring>{L"[LogTest] after rename"});
    auto old = ReadLogEntries(moved);
    ASSERT_FALSE(old.empty());
    EXPECT_EQ(old.back(), L"[LogTest] before rename");
}

TEST(LogFile, FilePastEightMebibytesBecomesDotOneAndANewFileStarts) {
    std::wstring rotated = LogPath() + L".1";
    ASSERT_TRUE(WriteFileText(rotated, "an older rotated log"));
    LogWrite(L"[LogTest] first entry\r\n");
    // Another writer (another host process, say) brings the file exactly to the bound: not past it.
    HANDLE other = CreateFileW(LogPath().c_str(), FILE_APPEND_DATA,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const long long kBound = 8LL * 1024 * 1024;
    std::wstring filler(static_cast<size_t>(kBound / 2 - ReadFileBytes(LogPath()).size() / 2), L'f');
    filler.replace(filler.size() - 2, 2, L"\r\n");
    DWORD written = 0;
    WriteFile(other, filler.data(), static_cast<DWORD>(filler.size() * 2), &written, nullptr);
    CloseHandle(other);
    ASSERT_EQ(static_cast<long long>(ReadFileBytes(LogPath()).size()), kBound);
    LogWrite(L"[LogTest] at the bound\r\n");
    EXPECT_EQ(ReadFileBytes(rotated).size(), 20u) << "not rotated yet";
    LogWrite(L"[LogTest] past the bound\r\n");
    std::vector<uint8_t> full = ReadFileBytes(rotated);
    ASSERT_GT(static_cast<long long>(full.size()), kBound);
    auto old = ReadLogEntries(rotated);
    ASSERT_FALSE(old.empty());
    EXPECT_EQ(old.back(), L"[LogTest] at the bound");
    std::vector<uint8_t> bytes = ReadFileBytes(LogPath());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    ASSERT_LT(bytes.size(), 1000u) << "the full file was not renamed";
    EXPECT_EQ(ReadLogEntries(LogPath()), std::vector<std::wstring>{L"[LogTest] past the bound"});
}

TEST(LogFormat, LineEndRuleAtEveryLength) {
    wchar_t buffer[kLogMessageCapacity];
    struct Case {
        size_t length;
        size_t expected;
    } cases[] = {{0, 0}, {1, 3}, {2045, 2047}, {2046, 2047}, {2047, 2047}};
    for (const Case& c : cases) {
        wmemset(buffer, L'a', c.length);
        buffer[c.length] = L'\0';
        size_t n = TerminateLogMessage(buffer, c.length);
        EXPECT_EQ(n, c.expected) << c.length;
        EXPECT_EQ(buffer[n], L'\0');
        if (c.length > 0) {
            EXPECT_EQ(buffer[n - 2], L'\r') << c.length;
            EXPECT_EQ(buffer[n - 1], L'\n') << c.length;
        }
    }
    wmemset(buffer, L'a', 2047);
    buffer[2046] = L'\n';
    buffer[2047] = L'\0';
    EXPECT_EQ(TerminateLogMessage(buffer, 2047), 2047u);
    EXPECT_EQ(buffer[2046], L'\n');
}

TEST(LogFormat, TruncatesToCapacityMinusOne) {
    wchar_t buffer[8];
    std::wstring longText(20, L'q');
    auto format = [&](const wchar_t* fmt, ...) {
        va_list args;
        va_start(args, fmt);
        size_t n = FormatTruncated(buffer, 8, fmt, args);
        va_end(args);
        return n;
    };
    EXPECT_EQ(format(L"%ls", longText.c_str()), 7u);
    EXPECT_EQ(std::wstring(buffer), std::wstring(7, L'q'));
    EXPECT_EQ(format(L"%d", 12), 2u);
    EXPECT_EQ(std::wstring(buffer), L"12");
}

TEST(LogFormat, PrefixShape) {
    wchar_t buffer[kLogPrefixCapacity];
    LogTime time = {2026, 3, 1, 9, 5, 7, 42};
    EXPECT_EQ(FormatLogPrefix(buffer, kLogPrefixCapacity, time), 26u);
    EXPECT_EQ(std::wstring(buffer), L"[2026-03-01 09:05:07.042] ");
}

TEST(LogFormat, PathFallsBackToDriveRootWhenTheTemporaryFolderIsUnusable) {
    wchar_t path[kLogPathCapacity];
    ChooseLogPath(path, L"C:\\users\\me\\Temp\\", 17);
    EXPECT_EQ(std::wstring(path), L"C:\\users\\me\\Temp\\velloquin.log");
    ChooseLogPath(path, L"", 0);
    EXPECT_EQ(std::wstring(path), L"C:\\velloquin.log");
    std::wstring tooLong = L"C:\\" + std::wstring(300, L'd') + L"\\";
    ChooseLogPath(path, tooLong.c_str(), static_cast<unsigned long>(tooLong.size()));
    EXPECT_EQ(std::wstring(path), L"C:\\velloquin.log");
    // Fits the query's buffer, but the file name would not fit behind it.
    std::wstring almost = L"C:\\" + std::wstring(243, L'd') + L"\\";
    ChooseLogPath(path, almost.c_str(), static_cast<unsigned long>(almost.size()));
    EXPECT_EQ(std::wstring(path), L"C:\\velloquin.log");
    std::wstring fits = L"C:\\" + std::wstring(242, L'd') + L"\\";  // 246 + 13 = 259 units
    ChooseLogPath(path, fits.c_str(), static_cast<unsigned long>(fits.size()));
    EXPECT_EQ(std::wstring(path), fits + L"velloquin.log");
}
