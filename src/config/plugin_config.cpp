#include "config/plugin_config.h"

#include <cwchar>

#include "common/text.h"
#include "config/config_lock.h"
#include "log/log.h"
#include "paths/alias_resolver.h"

PluginConfig pluginConfig;

namespace {

constexpr wchar_t kDefaultEditorPath[] = L"/home\\viewers\\Notepad4\\Notepad4.exe";

void IndexRow(PluginConfig& config, const GroupMapping& row) {
    std::wstring key = LowerCased(row.group);
    if (config.groupToViewer.find(key) == config.groupToViewer.end()) {
        config.groupToViewer.emplace(key, ResolveEditorPath(row.editorPath));
        if (row.editorPath.find(L'%') != std::wstring::npos)
            config.environmentPaths.emplace_back(key, row.editorPath);
    }
    for (std::wstring& ext : SplitExtensions(row.exts)) {
        auto inserted = config.extToGroup.emplace(std::move(ext), key);
        if (!inserted.second) continue;
        config.handleExts += L'.';
        config.handleExts += inserted.first->first;
        config.handleExts += L';';
    }
}

}  // namespace

void PopulateDefaults(std::vector<GroupMapping>& mappings, std::wstring& editorParams) {
    LogPrintf(L"[PopulateDefaults] PopulateDefaults: defaultExe=[%ls]", kDefaultEditorPath);
    mappings.clear();
    mappings.push_back(
        {L"text", L"txt;log;ini;inf;cfg;conf;nfo;md;csv;xml;json;yaml;yml;toml", kDefaultEditorPath});
    mappings.push_back(
        {L"code",
         L"c;cpp;h;hpp;cs;java;py;js;ts;jsx;tsx;html;htm;css;scss;less;php;sql;rb;pl;sh;bat;ps1;"
         L"go;rs;swift;lua;r;vue;dart;cmake;make;rc;def;iss;nsi",
         kDefaultEditorPath});
    editorParams.clear();
}

void RebuildIndex(PluginConfig& config) {
    config.extToGroup.clear();
    config.groupToViewer.clear();
    config.handleExts.clear();
    config.environmentPaths.clear();
    AliasResolver::Load();
    for (const GroupMapping& row : config.mappings) IndexRow(config, row);
    if (!config.handleExts.empty() && config.handleExts.back() == L';') config.handleExts.pop_back();
}

void RefreshEnvironmentPaths(PluginConfig& config) {
    for (const auto& entry : config.environmentPaths)
        config.groupToViewer[entry.first] = ResolveEditorPath(entry.second);
}

std::wstring PluginConfig::FindViewerForFile(const wchar_t* fileName) const {
    if (!fileName || !*fileName) return std::wstring();
    const wchar_t* dot = wcsrchr(fileName, L'.');
    if (!dot) return std::wstring();
    std::wstring ext = LowerCased(dot + 1);
    ConfigLockGuard lock;
    auto group = extToGroup.find(ext);
    if (group == extToGroup.end()) {
        LogPrintf(L"[PluginConfig::FindViewerForFile]   ext [%ls] not in any group", ext.c_str());
        return std::wstring();
    }
    auto viewer = groupToViewer.find(group->second);
    std::wstring editorPath = viewer == groupToViewer.end() ? std::wstring() : viewer->second;
    LogPrintf(L"[PluginConfig::FindViewerForFile]   ext [%ls] -> group [%ls] -> viewer [%ls]", ext.c_str(),
              group->second.c_str(), editorPath.c_str());
    return editorPath;
}
