// DVP_IdentifyW, DVP_IdentifyFileW and DVP_About through the real DLL, freshly loaded for each
// test, with the test host's store and the log file the plug-in writes.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "common/version.h"
#include "host/test_host.h"
#include "paths/alias_resolver.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

using IdentifyFn = BOOL(WINAPI*)(void*);
using IdentifyFileFn = BOOL(WINAPI*)(HWND, LPWSTR, void*, HANDLE);
using AboutFn = LRESULT(WINAPI*)(HWND);

constexpr uint8_t kSentinel = 0xAB;
constexpr DWORD kAboutBoxWaitMs = 10000;
constexpr int kConcurrentCalls = 150;
const std::wstring kDefaultHandleExts =
    L".txt;.log;.ini;.inf;.cfg;.conf;.nfo;.md;.csv;.xml;.json;.yaml;.yml;.toml;.c;.cpp;.h;.hpp;.cs;.java;.py;"
    L".js;"
    L".ts;.jsx;.tsx;.html;.htm;.css;.scss;.less;.php;.sql;.rb;.pl;.sh;.bat;.ps1;.go;.rs;.swift;.lua;.r;.vue;."
    L"dart;"
    L".cmake;.make;.rc;.def;.iss;.nsi";
const wchar_t kAboutText[] =
    L"velloquin " VELLOQUIN_VERSION_WIDE L"\r\nDirectory Opus \u6587\u672c\u6587\u4ef6\u9884\u89c8\u63d2\u4ef6\r\n\r\n\u8c03\u7528 "
    L"notepad3 / "
    L"notepad4 / notepad++ / EverEdit / EmEditor "
    L"\u7b49\u7f16\u8f91\u5668\u9884\u89c8\u6587\u672c\u6587\u4ef6\uff0c"
    L"\u5e76\u5c06\u7f16\u8f91\u5668\u7a97\u53e3\u5d4c\u5165\u9884\u89c8\u7a97\u683c\uff0c\u53ef\u76f4\u63a5"
    L"\u7f16"
    L"\u8f91\u548c\u4fdd\u5b58\u3002\r\n\r\n\u914d\u7f6e\u6587\u4ef6: ";

template <typename T>
T At(const uint8_t* bytes, size_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof(T));
    return value;
}

template <typename T>
void Put(uint8_t* bytes, size_t offset, T value) {
    std::memcpy(bytes + offset, &value, sizeof(T));
}

// The host's identification record and its five text buffers, all filled with the sentinel.
struct PluginInfo {
    uint8_t bytes[160];
    uint8_t original[160];
    wchar_t texts[5][2048];
    explicit PluginInfo(uint32_t extsCapacity = 300, uint32_t nameCapacity = 300) {
        std::memset(bytes, kSentinel, sizeof(bytes));
        std::memset(texts, kSentinel, sizeof(texts));
        const uint32_t capacities[5] = {extsCapacity, nameCapacity, 300, 300, 300};
        for (size_t i = 0; i < 5; ++i) {
            Put<wchar_t*>(bytes, 16 + 8 * i, texts[i]);
            Put<uint32_t>(bytes, 56 + 4 * i, capacities[i]);
        }
        std::memcpy(original, bytes, sizeof(bytes));
    }
    std::wstring Text(size_t i) const { return texts[i]; }
};

struct FileInfo {
    uint8_t bytes[104];
    uint8_t original[104];
    wchar_t description[64];
    explicit FileInfo(uint32_t capacity = 64) {
        std::memset(bytes, kSentinel, sizeof(bytes));
        std::memset(description, kSentinel, sizeof(description));
        Put<wchar_t*>(bytes, 24, description);
        Put<uint32_t>(bytes, 32, capacity);
        std::memcpy(original, bytes, sizeof(bytes));
    }
};

// True when no byte outside the listed [begin, end) ranges differs from what the host put there.
template <typename Record>
bool OnlyChangedInside(const Record& record, std::initializer_list<std::pair<size_t, size_t>> ranges) {
    for (size_t i = 0; i < sizeof(record.bytes); ++i) {
        bool listed = false;
        for (const auto& range : ranges) listed = listed || (i >= range.first && i < range.second);
        if (!listed && record.bytes[i] != record.original[i]) return false;
    }
    return true;
}

class Identify : public ::testing::Test {
   protected:
    void SetUp() override {
        // Test folders side by side, not inside each other: the temporary path must stay short.
        static const std::wstring base = MakeTempDir(L"identify");
        static int count = 0;
        folder_ = base + L"\\" + std::to_wstring(++count);
        CreateDirectoryW(folder_.c_str(), nullptr);
        UseTempFolder(folder_);
        testhost::Host().configFolder = folder_;
        testhost::ResetHost();
        plugin_ = std::make_unique<LoadedPlugin>();
        ASSERT_NE(plugin_->module(), nullptr);
        identify = plugin_->Get<IdentifyFn>("DVP_IdentifyW");
        identifyFile = plugin_->Get<IdentifyFileFn>("DVP_IdentifyFileW");
        about = plugin_->Get<AboutFn>("DVP_About");
    }
    void TearDown() override {
        plugin_.reset();
        EXPECT_EQ(GetModuleHandleW(L"velloquin.dll"), nullptr)
            << "the next test needs fresh process-wide state";
    }

    std::vector<std::wstring> Log() const { return ReadLogEntries(folder_ + L"\\velloquin.log"); }
    std::wstring ConfigPath() const { return folder_ + L"\\velloquin.oxc"; }
    BOOL IdentifyFile(const wchar_t* name, FileInfo& info) {
        return identifyFile(nullptr, const_cast<LPWSTR>(name), info.bytes, nullptr);
    }
    static void StoreMappings(const std::wstring& text) {
        testhost::Store store = testhost::ReadStore();
        store[L"mappings"] = testhost::StoredValue{4, text, 0};
        testhost::WriteStore(store);
    }

    // Runs DVP_About on a second thread, returns the box's text and closes it with OK.
    std::wstring ShowAboutAndClose() {
        std::atomic<LRESULT> result{-1};
        std::thread shower([&] { result = about(nullptr); });
        HWND box = nullptr;
        WaitFor([&] { return (box = FindWindowW(L"#32770", L"About velloquin")) != nullptr; },
                kAboutBoxWaitMs);
        std::wstring text;
        if (box) {
            wchar_t buffer[1024] = {};
            GetDlgItemTextW(box, 0xFFFF, buffer, 1024);
            text = buffer;
            EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
            EXPECT_EQ(GetDlgItem(box, IDCANCEL), nullptr);
            // The icon control is 20 on Windows and 0x440 under Wine.
            HWND icon = GetDlgItem(box, 20) ? GetDlgItem(box, 20) : GetDlgItem(box, 0x440);
            EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)),
                      LoadIconW(nullptr, IDI_INFORMATION));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        shower.join();
        EXPECT_NE(box, nullptr);
        EXPECT_EQ(result.load(), 0);
        return text;
    }

    IdentifyFn identify = nullptr;
    IdentifyFileFn identifyFile = nullptr;
    AboutFn about = nullptr;

   private:
    std::wstring folder_;
    std::unique_ptr<LoadedPlugin> plugin_;
};

std::wstring DefaultViewer() {
    AliasResolver::Load();
    return ResolveEditorPath(L"/home\\viewers\\Notepad4\\Notepad4.exe");
}

}  // namespace

TEST_F(Identify, NullRecordReturnsFalseAfterTwoLogLinesAndLoadsNothing) {
    EXPECT_FALSE(identify(nullptr));
    EXPECT_EQ(Log(),
              (std::vector<std::wstring>{L"[DVP_IdentifyW] DVP_IdentifyW ENTER",
                                         L"[DVP_IdentifyW] DVP_IdentifyW: lpVPInfo=NULL, return FALSE"}));
    EXPECT_EQ(testhost::LoadOrSaveCalls(), 0);
}

TEST_F(Identify, RecordGetsOnlyItsListedFieldsAndTheDefaultExtensions) {
    PluginInfo info;
    ASSERT_TRUE(identify(info.bytes));
    EXPECT_TRUE(OnlyChangedInside(info, {{0, 16}, {112, 132}, {144, 160}}));
    EXPECT_EQ(At<uint32_t>(info.bytes, 0), 160u);
    EXPECT_EQ(At<uint32_t>(info.bytes, 4), 0x4C10u);
    EXPECT_EQ(At<uint32_t>(info.bytes, 8), 0x00010000u);
    EXPECT_EQ(At<uint32_t>(info.bytes, 12), 0u);
    EXPECT_EQ(At<uint32_t>(info.bytes, 112), 2u);
    const uint8_t guid[16] = {0x4D, 0x3C, 0x2B, 0x1A, 0x6F, 0x5E, 0x8B, 0x7A,
                              0x9C, 0x0D, 0x1E, 0x2F, 0x3A, 0x4B, 0x5C, 0x6D};
    EXPECT_EQ(std::memcmp(info.bytes + 116, guid, 16), 0);
    EXPECT_EQ(info.Text(0), kDefaultHandleExts);
    EXPECT_EQ(info.Text(1), L"velloquin");
    EXPECT_EQ(info.Text(2),
              L"Directory Opus text file viewer plugin (notepad3/notepad4/notepad++/EverEdit/EmEditor/...)");
    EXPECT_FALSE(info.Text(3).empty());
    EXPECT_EQ(info.Text(4), L"");
    EXPECT_EQ(info.texts[4][1], static_cast<wchar_t>(0xABAB));

    std::vector<std::wstring> log = Log();
    int located = FindLogEntry(log, L"[LocateConfigPath] LocateConfigPath: [" + ConfigPath() + L"]");
    int total = FindLogEntry(
        log, L"[PluginConfig::Load]   total: 2 mappings, 50 exts, handleExts=[" + kDefaultHandleExts + L"]");
    EXPECT_GE(located, 1);
    EXPECT_GT(total, located);
    EXPECT_GT(FindLogEntry(log, L"[DVP_IdentifyW]   handleExts=[" + kDefaultHandleExts + L"]"), total);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), L"[DVP_IdentifyW] DVP_IdentifyW return TRUE");
}

TEST_F(Identify, IconsAreSharedSixteenAndThirtyTwoPixelIcons) {
    PluginInfo first, second;
    ASSERT_TRUE(identify(first.bytes));
    ASSERT_TRUE(identify(second.bytes));
    for (size_t offset : {144u, 152u}) {
        HICON icon = At<HICON>(first.bytes, offset);
        EXPECT_EQ(icon, At<HICON>(second.bytes, offset)) << "a new icon per call leaks";
        ICONINFO iconInfo = {};
        ASSERT_TRUE(GetIconInfo(icon, &iconInfo)) << offset;
        BITMAP bitmap = {};
        GetObjectW(iconInfo.hbmColor ? iconInfo.hbmColor : iconInfo.hbmMask, sizeof(bitmap), &bitmap);
        EXPECT_EQ(bitmap.bmWidth, offset == 144 ? 16 : 32);
        DeleteObject(iconInfo.hbmColor);
        DeleteObject(iconInfo.hbmMask);
    }
}

TEST_F(Identify, SmallBuffersGetTruncatedTextsAndWholeExtensionsOnly) {
    size_t cmake = kDefaultHandleExts.find(L";.cmake");
    struct Case {
        uint32_t extsCapacity;
        std::wstring exts;
    } cases[] = {{1, L""},
                 {4, L""},
                 {8, L".txt"},
                 {10, L".txt;.log"},
                 {static_cast<uint32_t>(cmake + 5), kDefaultHandleExts.substr(0, cmake)},
                 {246, kDefaultHandleExts.substr(0, kDefaultHandleExts.size() - 5)},
                 {247, kDefaultHandleExts}};
    for (const Case& c : cases) {
        PluginInfo info(c.extsCapacity, c.extsCapacity);
        ASSERT_TRUE(identify(info.bytes));
        EXPECT_EQ(info.Text(0), c.exts) << c.extsCapacity;
        EXPECT_EQ(info.Text(1), std::wstring(L"velloquin").substr(0, c.extsCapacity - 1)) << c.extsCapacity;
        EXPECT_EQ(info.texts[1][c.extsCapacity], static_cast<wchar_t>(0xABAB)) << c.extsCapacity;
    }
    PluginInfo skipped(0, 0);
    Put<wchar_t*>(skipped.bytes, 32, nullptr);
    ASSERT_TRUE(identify(skipped.bytes));
    EXPECT_EQ(skipped.texts[0][0], static_cast<wchar_t>(0xABAB));
    EXPECT_EQ(skipped.texts[1][0], static_cast<wchar_t>(0xABAB));
    EXPECT_EQ(skipped.texts[2][0], static_cast<wchar_t>(0xABAB));
}

TEST_F(Identify, EachCallReloadsTheStoredTable) {
    PluginInfo before;
    ASSERT_TRUE(identify(before.bytes));
    StoreMappings(L"Docs\tmd; .RST\t\"C:\\ed.exe\"\r\n");
    PluginInfo after;
    ASSERT_TRUE(identify(after.bytes));
    EXPECT_EQ(before.Text(0), kDefaultHandleExts);
    EXPECT_EQ(after.Text(0), L".md;.rst");
    std::vector<std::wstring> log = Log();
    std::wstring located = L"[LocateConfigPath] LocateConfigPath: [" + ConfigPath() + L"]";
    EXPECT_EQ(std::count(log.begin(), log.end(), located), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), L"[PluginConfig::Load] PluginConfig::Load"), 2);
}

TEST_F(Identify, FileWithConfiguredExtensionGetsItsRecordFilled) {
    FileInfo info;
    ASSERT_TRUE(IdentifyFile(L"C:\\notes\\README.TXT", info));
    EXPECT_TRUE(OnlyChangedInside(info, {{0, 12}, {20, 24}}));
    EXPECT_EQ(At<uint32_t>(info.bytes, 0), 104u);
    EXPECT_EQ(At<uint32_t>(info.bytes, 4), 2u);
    EXPECT_EQ(At<uint32_t>(info.bytes, 8), 2u);
    EXPECT_EQ(At<uint32_t>(info.bytes, 20), 32u);
    EXPECT_EQ(std::wstring(info.description), L"velloquin (TXT)");
    std::vector<std::wstring> log = Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), L"[DVP_IdentifyFileW] DVP_IdentifyFileW ENTER, file=[C:\\notes\\README.TXT]");
    std::wstring viewer = DefaultViewer();
    EXPECT_TRUE(LogHas(
        log, L"[PluginConfig::FindViewerForFile]   ext [txt] -> group [text] -> viewer [" + viewer + L"]"));
    EXPECT_TRUE(LogHas(log, L"[DVP_IdentifyFileW]   matched viewer=[" + viewer + L"]"));
    EXPECT_EQ(log.back(), L"[DVP_IdentifyFileW] DVP_IdentifyFileW return TRUE");

    FileInfo small(7);
    ASSERT_TRUE(IdentifyFile(L"a.md", small));
    EXPECT_EQ(std::wstring(small.description), L"velloq");
}

TEST_F(Identify, FilesWithoutAConfiguredExtensionAreRefusedAndTheirRecordUntouched) {
    for (const wchar_t* name : {L"Makefile", L"C:\\dir.d\\notes", L"notes.txt ", L"notes.", L"x.zzz"}) {
        FileInfo info;
        EXPECT_FALSE(IdentifyFile(name, info)) << name;
        EXPECT_TRUE(OnlyChangedInside(info, {})) << name;
        EXPECT_EQ(info.description[0], static_cast<wchar_t>(0xABAB)) << name;
    }
    std::vector<std::wstring> log = Log();
    EXPECT_TRUE(LogHas(log, L"[PluginConfig::FindViewerForFile]   ext [] not in any group"));
    EXPECT_TRUE(LogHas(log, L"[PluginConfig::FindViewerForFile]   ext [d\\notes] not in any group"));
    EXPECT_TRUE(LogHas(log, L"[DVP_IdentifyFileW] DVP_IdentifyFileW: no viewer, FALSE"));

    FileInfo info;
    EXPECT_FALSE(IdentifyFile(nullptr, info));
    EXPECT_FALSE(identifyFile(nullptr, const_cast<LPWSTR>(L"a.txt"), nullptr, nullptr));
    log = Log();
    int nullName = FindLogEntry(log, L"[DVP_IdentifyFileW] DVP_IdentifyFileW ENTER, file=[(null)]");
    ASSERT_GE(nullName, 0);
    ASSERT_LT(nullName + 1u, log.size());
    EXPECT_EQ(log[nullName + 1], L"[DVP_IdentifyFileW] DVP_IdentifyFileW: null arg, FALSE");
}

// Without the one lock a lookup could read an index the other thread is rebuilding.
TEST_F(Identify, ConcurrentCallersAlwaysSeeACompleteIndex) {
    std::wstring table, expected;
    for (int g = 0; g < 20; ++g) {
        table += L"group" + std::to_wstring(g) + L"\t";
        for (int e = 0; e < 10; ++e) {
            std::wstring ext = L"x" + std::to_wstring(g * 10 + e);
            table += ext + L";";
            expected += L"." + ext + L";";
        }
        table += L"\tC:\\ed" + std::to_wstring(g) + L".exe\n";
    }
    expected.pop_back();
    StoreMappings(table);
    std::atomic<int> failures{0};
    auto lookups = [&](const wchar_t* name, BOOL answer) {
        for (int i = 0; i < kConcurrentCalls; ++i) {
            FileInfo info;
            if (IdentifyFile(name, info) != answer) ++failures;
        }
    };
    std::thread a(lookups, L"C:\\f\\a.X199", TRUE);
    std::thread b(lookups, L"C:\\f\\b.txt", FALSE);
    for (int i = 0; i < kConcurrentCalls; ++i) {
        PluginInfo info(2000);
        if (!identify(info.bytes) || info.Text(0) != expected) ++failures;
    }
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(Identify, AboutBoxShowsFixedTextThenTheLocatedConfigPath) {
    EXPECT_EQ(ShowAboutAndClose(), kAboutText);
    EXPECT_EQ(testhost::LoadOrSaveCalls(), 0);
    PluginInfo info;
    ASSERT_TRUE(identify(info.bytes));
    EXPECT_EQ(ShowAboutAndClose(), kAboutText + ConfigPath());
}

TEST_F(Identify, ConfigPathFallsBackWhenTheHostFails) {
    testhost::Host().getConfigPathSucceeds = false;
    PluginInfo info;
    ASSERT_TRUE(identify(info.bytes));
    EXPECT_TRUE(
        LogHas(Log(), L"[LocateConfigPath] LocateConfigPath (fallback): [<OPUSPATH_CONFIG>\\velloquin.oxc]"));
}

TEST_F(Identify, ConfigFolderThatFillsTheWholeBufferIsCutBeforeItsLastUnit) {
    testhost::Host().answerConfigPath = true;
    testhost::Host().configPathAnswer = L"C:\\" + std::wstring(300, L'c');
    testhost::Host().fillBuffersWithoutTerminator = true;
    PluginInfo info;
    ASSERT_TRUE(identify(info.bytes));
    std::wstring expected = testhost::Host().configPathAnswer.substr(0, 259) + L"\\velloquin.oxc";
    EXPECT_TRUE(LogHas(Log(), L"[LocateConfigPath] LocateConfigPath: [" + expected + L"]"));
}
