// The settings model, the mapping text and the load/save through the host, linked statically.
// The load buffer and the host record are checked through the test host's raw bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "config/config_lock.h"
#include "config/config_path.h"
#include "config/config_refresh.h"
#include "config/mapping_text.h"
#include "config/plugin_config.h"
#include "host/test_host.h"
#include "log/log.h"
#include "paths/alias_resolver.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

constexpr DWORD kChildProcessWaitMs = 60000;
const std::wstring kDefaultHandleExts =
    L".txt;.log;.ini;.inf;.cfg;.conf;.nfo;.md;.csv;.xml;.json;.yaml;.yml;.toml;.c;.cpp;.h;.hpp;.cs;.java;.py;"
    L".js;"
    L".ts;.jsx;.tsx;.html;.htm;.css;.scss;.less;.php;.sql;.rb;.pl;.sh;.bat;.ps1;.go;.rs;.swift;.lua;.r;.vue;."
    L"dart;"
    L".cmake;.make;.rc;.def;.iss;.nsi";

// The statically linked log goes to a folder of this run.
class LogFolderEnvironment : public ::testing::Environment {
   public:
    void SetUp() override { UseTempFolder(MakeTempDir(L"config-log")); }
};
const auto* const logFolder = ::testing::AddGlobalTestEnvironment(new LogFolderEnvironment);

class Settings : public ::testing::Test {
   protected:
    void SetUp() override {
        if (!testhost::InHostChildProcess()) testhost::Host().configFolder = MakeTempDir(L"config");
        testhost::ResetHost();
    }
    static void StoreText(const wchar_t* key, const std::wstring& text) {
        testhost::Store store = testhost::ReadStore();
        store[key] = testhost::StoredValue{4, text, 0};
        testhost::WriteStore(store);
    }
    static void StoreInteger(const wchar_t* key, int32_t value) {
        testhost::Store store = testhost::ReadStore();
        store[key] = testhost::StoredValue{0, L"", value};
        testhost::WriteStore(store);
    }
};

uint32_t U32(const std::vector<uint8_t>& bytes, size_t offset) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + offset, 4);
    return value;
}

std::vector<GroupMapping> RoundTripRows() {
    return {{L"Text", L"txt;.LOG", L"\"%SystemRoot%\\notepad.exe\""},
            {L"code", L"c;h", L"C:\\tools\\ed.exe"}};
}

}  // namespace

TEST(MappingText, TrimAndSplitExtensionsNormaliseAsTyped) {
    EXPECT_EQ(Trim(L" \t\r\n a b \n"), L"a b");
    EXPECT_EQ(Trim(L" \t\r\n"), L"");
    EXPECT_EQ(SplitExtensions(L" .TXT ;log;;md; "), (std::vector<std::wstring>{L"txt", L"log", L"md"}));
    EXPECT_EQ(SplitExtensions(L"..x;txt;TXT"), (std::vector<std::wstring>{L".x", L"txt", L"txt"}));
    EXPECT_TRUE(SplitExtensions(L" ; ;").empty());
    // The blanks after the dot are trimmed too.
    EXPECT_EQ(SplitExtensions(L". txt;.\tLOG ; . ;md"), (std::vector<std::wstring>{L"txt", L"log", L"md"}));
}

TEST(MappingText, ParseDropsMalformedLinesAndKeepsTheRest) {
    std::wstring text =
        L"a\tx\tA\r\n\n"       // CR LF and an empty line
        L"one tab\tx\n"        // a single TAB
        L"trailing\t\n"        // the only TAB is the last character
        L"b\t   \tB\n"         // blank second field
        L"c\t y \tC\tmore \n"  // a third TAB stays in the editor path
        L"no tabs at all\n";
    std::vector<GroupMapping> rows = ParseMappings(text);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].group + L"|" + rows[0].exts + L"|" + rows[0].editorPath, L"a|x|A");
    EXPECT_EQ(rows[1].group + L"|" + rows[1].exts + L"|" + rows[1].editorPath, L"c|y|C\tmore");
    EXPECT_TRUE(ParseMappings(L"\n\r\n\t\t\n").empty());
}

TEST(MappingText, SerializeReplacesTabsAndLineBreaksInsideFieldsSoRowsSurvive) {
    std::vector<GroupMapping> rows;
    std::wstring editorParams;
    PopulateDefaults(rows, editorParams);
    std::wstring text = SerializeMappings(rows);
    EXPECT_EQ(text.substr(0, 5), L"text\t");
    EXPECT_EQ(std::count(text.begin(), text.end(), L'\n'), 1);
    EXPECT_NE(text.back(), L'\n');
    EXPECT_EQ(ParseMappings(text).size(), 2u);
    EXPECT_EQ(SerializeMappings({}), L"");

    std::vector<GroupMapping> awkward = {{L"my\tgroup", L"a;\r\nb", L"C:\\x\ty.exe"}};
    EXPECT_EQ(SerializeMappings(awkward), L"my group\ta;  b\tC:\\x y.exe");
    std::vector<GroupMapping> back = ParseMappings(SerializeMappings(awkward));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].exts, L"a;  b");
}

TEST(MappingText, TextThatFillsTheLoadBufferLosesOnlyItsPossiblyCutLastLine) {
    std::vector<wchar_t> buffer(8192, L'x');
    std::wstring rows = L"a\tb\tC:\\a.exe\nc\td;cmake";
    std::copy(rows.begin(), rows.end(), buffer.begin());
    buffer[8191] = L'\0';
    LoadedMappingText full = TakeLoadedMappingText(buffer.data(), 8192);
    EXPECT_TRUE(full.lineDropped);
    EXPECT_EQ(full.text, L"a\tb\tC:\\a.exe\n");
    EXPECT_EQ(full.droppedLine.size(), 8191u - 13u);

    buffer[8190] = L'\0';
    LoadedMappingText shorter = TakeLoadedMappingText(buffer.data(), 8192);
    EXPECT_FALSE(shorter.lineDropped);
    EXPECT_EQ(shorter.text.size(), 8190u);
}

TEST(ConfigPath, OneSeparatorBetweenFolderAndFileName) {
    EXPECT_EQ(ConfigPathInFolder(L"C:\\cfg"), L"C:\\cfg\\velloquin.oxc");
    EXPECT_EQ(ConfigPathInFolder(L"C:\\cfg\\"), L"C:\\cfg\\velloquin.oxc");
    EXPECT_EQ(ConfigPathInFolder(L"C:\\cfg/"), L"C:\\cfg/velloquin.oxc");
    EXPECT_EQ(ConfigPathInFolder(L""), L"velloquin.oxc");
}

TEST(Index, DefaultsGiveFiftyExtensionsAndFirstRowsWinTies) {
    PluginConfig config;
    PopulateDefaults(config.mappings, config.editorParams);
    RebuildIndex(config);
    EXPECT_EQ(config.extToGroup.size(), 50u);
    EXPECT_EQ(config.handleExts, kDefaultHandleExts);
    EXPECT_EQ(config.handleExts.size(), 246u);

    config.mappings = {{L"Text", L"txt", L"C:\\A.exe"},
                       {L"text", L"log;TXT", L"C:\\B.exe"},
                       {L"b", L"txt", L"C:\\B.exe"},
                       {L"c", L"..x", L"C:\\C.exe"}};
    RebuildIndex(config);
    EXPECT_EQ(config.handleExts, L".txt;.log;..x");
    EXPECT_EQ(config.extToGroup[L"log"], L"text");
    EXPECT_EQ(config.groupToViewer[L"text"], ResolveEditorPath(L"C:\\A.exe"));
    EXPECT_EQ(config.groupToViewer.count(L"b"), 1u);

    config.mappings.clear();
    RebuildIndex(config);
    EXPECT_TRUE(config.extToGroup.empty() && config.groupToViewer.empty() && config.handleExts.empty());
}

TEST(Index, LookupUsesTheLastDotOfTheWholeName) {
    PluginConfig config;
    config.mappings = {{L"g", L"gz;txt", L"C:\\A.exe"}};
    RebuildIndex(config);
    EXPECT_EQ(config.FindViewerForFile(L"C:\\x\\archive.tar.GZ"), ResolveEditorPath(L"C:\\A.exe"));
    for (const wchar_t* name : {L"Makefile", L"C:\\docs.txt\\README", L"a.txt ", L"a.", L"",
                                static_cast<const wchar_t*>(nullptr)}) {
        EXPECT_EQ(config.FindViewerForFile(name), L"") << (name ? name : L"(null)");
    }
}

TEST_F(Settings, LoadRecordIsTheHostLayoutWithZeroedBuffers) {
    StoreText(L"mappings", L"g\tq\tC:\\q.exe");
    PluginConfig::Load();
    const testhost::RecordedCall& call = testhost::LastCall();
    EXPECT_EQ(call.mode, 0);
    ASSERT_EQ(call.header.size(), 32u);
    EXPECT_EQ(U32(call.header, 0), 32u);
    EXPECT_EQ(U32(call.header, 4), 0u);
    EXPECT_EQ(U32(call.header, 16), 0u);
    EXPECT_EQ(U32(call.header, 20), 5u);
    EXPECT_EQ(call.section, L"velloquin");
    EXPECT_EQ(call.keys, (std::vector<std::wstring>{L"mappings", L"editorParams", L"maximizeStandaloneViewer",
                                                    L"focusEditorOnLoad", L"keepEditorsReady"}));
    const uint32_t types[] = {4, 4, 0, 0, 0};
    const uint32_t sizes[] = {16384, 2048, 4, 4, 4};
    ASSERT_EQ(call.entries.size(), 160u);
    ASSERT_EQ(call.buffers.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(U32(call.entries, i * 32 + 8), types[i]) << i;
        EXPECT_EQ(U32(call.entries, i * 32 + 12), 0u) << i;
        EXPECT_EQ(U32(call.entries, i * 32 + 24), sizes[i]) << i;
        EXPECT_EQ(U32(call.entries, i * 32 + 28), 0u) << i;
        EXPECT_EQ(std::count(call.buffers[i].begin(), call.buffers[i].end(), 0),
                  static_cast<std::ptrdiff_t>(sizes[i]))
            << i;
    }
    ConfigLockGuard lock;
    EXPECT_EQ(pluginConfig.handleExts, L".q");
}

TEST_F(Settings, SaveRecordHasSaveSizesAndFlagsAsOneOrZero) {
    PluginConfig config;
    config.mappings = RoundTripRows();
    config.editorParams = L"-x";
    config.maximizeStandaloneViewer = true;
    EXPECT_TRUE(PluginConfig::Save(config));
    const testhost::RecordedCall& call = testhost::LastCall();
    EXPECT_EQ(call.mode, 1);
    const uint32_t sizes[] = {0, 0, 4, 4, 4};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(U32(call.entries, i * 32 + 24), sizes[i]) << i;
    EXPECT_EQ(testhost::ReadStore()[L"maximizeStandaloneViewer"].integer, 1);
    EXPECT_EQ(testhost::ReadStore()[L"focusEditorOnLoad"].integer, 0);
    EXPECT_EQ(testhost::ReadStore()[L"keepEditorsReady"].integer, 0);

    testhost::Host().saveSucceeds = false;
    EXPECT_FALSE(PluginConfig::Save(config));
}

TEST_F(Settings, HostFailureOrUnusableTextGivesDefaultsButKeepsFlags) {
    StoreText(L"mappings", L"g\tq\tC:\\q.exe");
    StoreText(L"editorParams", L"-p");
    StoreInteger(L"focusEditorOnLoad", 1);
    testhost::Host().loadSucceeds = false;
    PluginConfig::Load();
    {
        ConfigLockGuard lock;
        EXPECT_EQ(pluginConfig.handleExts, kDefaultHandleExts);
        EXPECT_FALSE(pluginConfig.focusEditorOnLoad);
    }
    testhost::Host().loadSucceeds = true;
    StoreText(L"mappings", L"only\tone tab\n");
    PluginConfig::Load();
    ConfigLockGuard lock;
    EXPECT_EQ(pluginConfig.handleExts, kDefaultHandleExts);
    EXPECT_EQ(pluginConfig.editorParams, L"");
    EXPECT_TRUE(pluginConfig.focusEditorOnLoad);
}

// Settings stored before "Keep editors ready" existed have no such key: they load with it off.
TEST_F(Settings, KeepEditorsReadyIsStoredAndAnOlderStoreWithoutItLoadsOff) {
    StoreText(L"mappings", L"g\tq\tC:\\q.exe");
    StoreInteger(L"focusEditorOnLoad", 1);
    {
        ConfigLockGuard lock;
        pluginConfig.keepEditorsReady = true;
    }
    PluginConfig::Load();
    {
        ConfigLockGuard lock;
        EXPECT_FALSE(pluginConfig.keepEditorsReady);
        EXPECT_TRUE(pluginConfig.focusEditorOnLoad);
    }
    PluginConfig config;
    config.mappings = RoundTripRows();
    config.keepEditorsReady = true;
    ASSERT_TRUE(PluginConfig::Save(config));
    EXPECT_EQ(testhost::ReadStore()[L"keepEditorsReady"].integer, 1);
    EXPECT_EQ(testhost::ReadStore()[L"keepEditorsReady"].type, 0u);
    PluginConfig::Load();
    ConfigLockGuard lock;
    EXPECT_TRUE(pluginConfig.keepEditorsReady);
    EXPECT_FALSE(pluginConfig.focusEditorOnLoad);
}

TEST_F(Settings, HostThatFillsBuffersWithoutZeroCannotMakeLoadReadPastThem) {
    std::wstring rows;
    for (int i = 0; rows.size() < 8300; ++i) {
        rows += L"g" + std::to_wstring(i) + L"\te" + std::to_wstring(i) + L";cmake\tC:\\e.exe\n";
    }
    StoreText(L"mappings", rows);
    StoreText(L"editorParams", std::wstring(1500, L'p'));
    for (bool careless : {false, true}) {
        testhost::Host().fillBuffersWithoutTerminator = careless;
        PluginConfig::Load();
        PluginConfig expected;
        expected.mappings = ParseMappings(rows.substr(0, rows.rfind(L'\n', 8190) + 1));
        RebuildIndex(expected);
        ConfigLockGuard lock;
        EXPECT_EQ(pluginConfig.mappings.size(), expected.mappings.size()) << careless;
        EXPECT_EQ(pluginConfig.handleExts, expected.handleExts) << careless;
        EXPECT_EQ(pluginConfig.editorParams, std::wstring(1023, L'p')) << careless;
    }
    size_t lastLine = rows.rfind(L'\n', 8190) + 1;
    ASSERT_LT(lastLine, 8191u);
    std::wstring dropped = rows.substr(lastLine, 8191 - lastLine);
    EXPECT_TRUE(
        LogHas(ReadLogEntries(LogFilePath()),
               L"[PluginConfig::Load]   mapping text fills the buffer, possibly cut last line dropped: [" +
                   dropped + L"]"));
}

// A saved table is loaded by the next host process: rows, editorParams and both flags.
TEST_F(Settings, WhatOneHostProcessSavesTheNextLoads) {
    PluginConfig config;
    config.mappings = RoundTripRows();
    config.editorParams = L"-n \"x y\"";
    config.focusEditorOnLoad = true;
    ASSERT_TRUE(PluginConfig::Save(config));
    EXPECT_EQ(testhost::RunHostProcess(L"RoundTripChild.LoadsWhatTheParentSaved",
                                       testhost::Host().configFolder, kChildProcessWaitMs),
              0);

    testhost::Store store = testhost::ReadStore();
    store[L"maximizeStandaloneViewer"].integer = 7;
    testhost::WriteStore(store);
    EXPECT_EQ(testhost::RunHostProcess(L"RoundTripChild.LoadsSevenAsTrueAndSavesItBackAsOne",
                                       testhost::Host().configFolder, kChildProcessWaitMs),
              0);
    EXPECT_EQ(testhost::ReadStore()[L"maximizeStandaloneViewer"].integer, 1);
}

TEST(RoundTripChild, LoadsWhatTheParentSaved) {
    if (!testhost::InHostChildProcess()) GTEST_SKIP() << "runs in the second host process only";
    PluginConfig::Load();
    ConfigLockGuard lock;
    std::vector<GroupMapping> rows = RoundTripRows();
    ASSERT_EQ(pluginConfig.mappings.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(pluginConfig.mappings[i].group, rows[i].group);
        EXPECT_EQ(pluginConfig.mappings[i].exts, rows[i].exts);
        EXPECT_EQ(pluginConfig.mappings[i].editorPath, rows[i].editorPath);
    }
    EXPECT_EQ(pluginConfig.editorParams, L"-n \"x y\"");
    EXPECT_FALSE(pluginConfig.maximizeStandaloneViewer);
    EXPECT_TRUE(pluginConfig.focusEditorOnLoad);
}

TEST(RoundTripChild, LoadsSevenAsTrueAndSavesItBackAsOne) {
    if (!testhost::InHostChildProcess()) GTEST_SKIP() << "runs in the second host process only";
    PluginConfig::Load();
    ConfigLockGuard lock;
    EXPECT_TRUE(pluginConfig.maximizeStandaloneViewer);
    EXPECT_TRUE(PluginConfig::Save(pluginConfig));
}

// Each refresh asks the host, and most find the same table: the index built from it stays, and
// the log shows the long texts only when they change.
TEST_F(Settings, UnchangedTableKeepsItsIndexAndLogsShortLinesButFollowsTheEnvironment) {
    SetEnvironmentVariableW(L"VELLOQUIN_TEST_EDITOR_DIR", L"C:\\first");
    std::wstring table = L"g\tq;r\tC:\\q.exe\nv\tv\t%VELLOQUIN_TEST_EDITOR_DIR%\\v.exe";
    StoreText(L"mappings", table);
    size_t before = ReadLogEntries(LogFilePath()).size();
    PluginConfig::Load();
    {
        ConfigLockGuard lock;
        pluginConfig.extToGroup[L"marker"] = L"g";  // gone with any rebuild
    }
    SetEnvironmentVariableW(L"VELLOQUIN_TEST_EDITOR_DIR", L"C:\\second");
    PluginConfig::Load();
    {
        ConfigLockGuard lock;
        EXPECT_EQ(pluginConfig.extToGroup.count(L"marker"), 1u) << "an unchanged table was indexed again";
        EXPECT_EQ(pluginConfig.FindViewerForFile(L"a.v"), L"C:\\second\\v.exe");
        EXPECT_EQ(pluginConfig.FindViewerForFile(L"a.q"), L"C:\\q.exe");
    }
    std::vector<std::wstring> all = ReadLogEntries(LogFilePath());
    std::vector<std::wstring> log(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    std::wstring shownTable = table;
    EXPECT_EQ(
        std::count(log.begin(), log.end(),
                   L"[PluginConfig::Load]   LoadOrSaveConfig(LOAD) return 1, mapBuf=[" + shownTable + L"]"),
        1);
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         L"[PluginConfig::Load]   LoadOrSaveConfig(LOAD) return 1, mapBuf unchanged"),
              1);
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         L"[PluginConfig::Load]   total: 2 mappings, 3 exts, handleExts=[.q;.r;.v]"),
              1);
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         L"[PluginConfig::Load]   total: 2 mappings, 4 exts, handleExts unchanged"),
              1);  // the marker is the fourth

    StoreText(L"mappings", L"g\tq\tC:\\q.exe");
    PluginConfig::Load();
    SetEnvironmentVariableW(L"VELLOQUIN_TEST_EDITOR_DIR", nullptr);
    ConfigLockGuard lock;
    EXPECT_EQ(pluginConfig.extToGroup.count(L"marker"), 0u);
    EXPECT_EQ(pluginConfig.handleExts, L".q");
}

// A host may hand its store calls to another thread (its UI thread, say) that itself waits for
// the settings lock; the plug-in must not hold that lock while it calls the host.
TEST_F(Settings, HostThatHandsItsCallsToAThreadWaitingForTheLockIsNeverKeptWaiting) {
    StoreText(L"mappings", L"g\tq\tC:\\q.exe");
    testhost::StartMarshallingThread([] { ConfigLockGuard lock; });
    DWORD start = GetTickCount();
    configPath.clear();
    RefreshConfiguration();
    PluginConfig copy;
    copy.mappings = RoundTripRows();
    EXPECT_TRUE(PluginConfig::Save(copy));
    DWORD elapsed = GetTickCount() - start;
    testhost::StopMarshallingThread();
    EXPECT_EQ(testhost::MarshalTimeouts(), 0);
    EXPECT_LT(elapsed, 1000u);
    EXPECT_GE(testhost::GetConfigPathCalls(), 1);
    ConfigLockGuard lock;
    EXPECT_EQ(pluginConfig.handleExts, L".q");
}
