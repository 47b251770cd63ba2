#include "config/plugin_config.h"

// Placeholders until the settings land.
PluginConfig pluginConfig;

bool PluginConfig::Load() { return false; }
bool PluginConfig::Save(const PluginConfig&) { return false; }
std::wstring PluginConfig::FindViewerForFile(const wchar_t*) const { return std::wstring(); }
void PopulateDefaults(std::vector<GroupMapping>& mappings, std::wstring& editorParams) {
    mappings.clear();
    editorParams.clear();
}
void RebuildIndex(PluginConfig&) {}
std::vector<std::wstring> SplitExtensions(const std::wstring&) { return {}; }
std::wstring Trim(const std::wstring& text) { return text; }
