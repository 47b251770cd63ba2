// The plug-in loaded by a program that is not the host: no settings service, no config folder.

#include <gtest/gtest.h>

#include <cstring>

#include "config/plugin_config.h"
#include "log/log.h"
#include "support/test_support.h"

using namespace testing_support;

TEST(NoHost, IdentificationFallsBackToDefaultsAndTheFixedConfigPath) {
    std::wstring folder = MakeTempDir(L"nohost");
    UseTempFolder(folder);
    LoadedPlugin plugin;
    auto identify = plugin.Get<BOOL(WINAPI*)(void*)>("DVP_IdentifyW");
    ASSERT_NE(identify, nullptr);
    uint8_t record[160] = {};
    wchar_t exts[300] = {};
    wchar_t* buffer = exts;
    uint32_t capacity = 300;
    std::memcpy(record + 16, &buffer, 8);
    std::memcpy(record + 56, &capacity, 4);
    ASSERT_TRUE(identify(record));
    EXPECT_EQ(std::wstring(exts).substr(0, 15), L".txt;.log;.ini;");
    std::vector<std::wstring> log = ReadLogEntries(folder + L"\\velloquin.log");
    EXPECT_TRUE(
        LogHas(log, L"[LocateConfigPath] LocateConfigPath (fallback): [<OPUSPATH_CONFIG>\\velloquin.oxc]"));
    int missing = FindLogEntry(log, L"[GetLoadOrSaveConfig] GetLoadOrSaveConfig: dopus.exe module not found");
    ASSERT_GE(missing, 0);
    EXPECT_EQ(log[missing + 1], L"[PluginConfig::Load]   LoadOrSaveConfig API unavailable, using defaults");
    EXPECT_EQ(log[missing + 2], L"[PluginConfig::Load]   no mappings loaded, using defaults");
}

TEST(NoHost, SaveReportsFailure) {
    PluginConfig config;
    EXPECT_FALSE(PluginConfig::Save(config));
    std::vector<std::wstring> log = ReadLogEntries(LogFilePath());
    int save = FindLogEntry(log, L"[PluginConfig::Save] PluginConfig::Save");
    ASSERT_GE(save, 0);
    ASSERT_GE(log.size(), save + 3u);
    EXPECT_EQ(log[save + 1], L"[GetLoadOrSaveConfig] GetLoadOrSaveConfig: dopus.exe module not found");
    EXPECT_EQ(log[save + 2], L"[PluginConfig::Save]   LoadOrSaveConfig API unavailable, cannot save");
}
