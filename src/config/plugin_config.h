#pragma once
// The settings model: the user's table of extension groups and editors, three scalar settings,
// and the lookup structures derived from the table.

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

struct GroupMapping {
    std::wstring group;
    std::wstring exts;        // ";"-separated, each with or without a leading "."
    std::wstring editorPath;  // as typed: quotes, %VARIABLES% and a leading /alias allowed
};

inline bool operator==(const GroupMapping& a, const GroupMapping& b) {
    return a.group == b.group && a.exts == b.exts && a.editorPath == b.editorPath;
}
inline bool operator!=(const GroupMapping& a, const GroupMapping& b) {
    return !(a == b);
}

struct PluginConfig {
    std::vector<GroupMapping> mappings;
    std::wstring editorParams;
    bool maximizeStandaloneViewer = false;
    bool focusEditorOnLoad = false;
    // Editors left by a change of group stay running, hidden, for their group's next file.
    bool keepEditorsReady = false;

    // Derived by RebuildIndex, never stored.
    std::unordered_map<std::wstring, std::wstring> extToGroup;     // "txt" -> "text"
    std::unordered_map<std::wstring, std::wstring> groupToViewer;  // "text" -> resolved editor path
    std::wstring handleExts;                                       // ".txt;.log;..."
    // Group key and typed path of each groupToViewer entry whose path names %VARIABLES%.
    std::vector<std::pair<std::wstring, std::wstring>> environmentPaths;

    // Reloads the process-wide pluginConfig from the host (defaults when nothing usable is stored).
    static bool Load();
    // Stores the five settings of config through the host; true when the host reported success.
    static bool Save(const PluginConfig& config);
    // The resolved editor path for a file name, or empty when no group claims its extension.
    std::wstring FindViewerForFile(const wchar_t* fileName) const;
};

// The one process-wide settings object. Read and write it only while holding ConfigLockGuard.
extern PluginConfig pluginConfig;

void PopulateDefaults(std::vector<GroupMapping>& mappings, std::wstring& editorParams);
void RebuildIndex(PluginConfig& config);
// Resolves again the editor paths that depend on the environment, which may have changed since
// the index was built; everything else in the index depends on the table alone.
void RefreshEnvironmentPaths(PluginConfig& config);
std::vector<std::wstring> SplitExtensions(const std::wstring& exts);
std::wstring Trim(const std::wstring& text);

// The stored form of the table: one row per line (LF), fields separated by TAB.
std::wstring SerializeMappings(const std::vector<GroupMapping>& mappings);
std::vector<GroupMapping> ParseMappings(const std::wstring& text);
