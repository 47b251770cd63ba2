// PluginConfig::Load and PluginConfig::Save: the settings through the host's LoadOrSaveConfigW.

#include "config/config_lock.h"
#include "config/mapping_text.h"
#include "config/plugin_config.h"
#include "config/settings_record.h"
#include "host/host_services.h"
#include "log/log.h"

namespace {

struct LoadedValues {
    std::vector<GroupMapping> rows;
    std::wstring editorParams;
    int32_t maximizeStandaloneViewer = 0;
    int32_t focusEditorOnLoad = 0;
};

// Logs the lookup failures under the name of the operation that needed the host.
LoadOrSaveConfigFn FindHostSettings(const wchar_t* unavailableLine) {
    HMODULE host = FindHostModule();
    if (!host) LogWrite(L"[GetLoadOrSaveConfig] GetLoadOrSaveConfig: dopus.exe module not found\r\n");
    LoadOrSaveConfigFn loadOrSave = FindLoadOrSaveConfig(host);
    if (!loadOrSave) LogWrite(unavailableLine);
    return loadOrSave;
}

void TakeMappingText(const wchar_t* buffer, LoadedValues& values) {
    LoadedMappingText loaded = TakeLoadedMappingText(buffer, kMappingBufferUnits);
    if (loaded.lineDropped) {
        LogPrintf(
            L"[PluginConfig::Load]   mapping text fills the buffer, possibly cut last line dropped: [%ls]",
            loaded.droppedLine.c_str());
    }
    if (!loaded.text.empty()) values.rows = ParseMappings(loaded.text);
}

void LoadFromHost(LoadOrSaveConfigFn loadOrSave, LoadedValues& values) {
    wchar_t mappingBuffer[kMappingBufferUnits] = {};
    wchar_t paramsBuffer[kParamsBufferUnits] = {};
    SettingsRecord record;
    BuildSettingsRecord(record, mappingBuffer, sizeof(mappingBuffer), paramsBuffer, sizeof(paramsBuffer),
                        &values.maximizeStandaloneViewer, &values.focusEditorOnLoad);
    bool succeeded = loadOrSave(kLoadMode, &record.header) != 0;
    // A host that fills a buffer to its end must not make us read past it.
    mappingBuffer[kMappingBufferUnits - 1] = L'\0';
    paramsBuffer[kParamsBufferUnits - 1] = L'\0';
    LogPrintf(L"[PluginConfig::Load]   LoadOrSaveConfig(LOAD) return %d, mapBuf=[%ls]", succeeded ? 1 : 0,
              mappingBuffer[0] ? mappingBuffer : L"(empty)");
    if (!succeeded) return;
    TakeMappingText(mappingBuffer, values);
    if (paramsBuffer[0]) values.editorParams = paramsBuffer;
}

}  // namespace

bool PluginConfig::Load() {
    LogWrite(L"[PluginConfig::Load] PluginConfig::Load\r\n");
    LoadedValues values;
    LoadOrSaveConfigFn loadOrSave =
        FindHostSettings(L"[PluginConfig::Load]   LoadOrSaveConfig API unavailable, using defaults\r\n");
    if (loadOrSave) LoadFromHost(loadOrSave, values);
    if (values.rows.empty()) {
        LogWrite(L"[PluginConfig::Load]   no mappings loaded, using defaults\r\n");
        PopulateDefaults(values.rows, values.editorParams);
    }
    ConfigLockGuard lock;
    pluginConfig.mappings = std::move(values.rows);
    pluginConfig.editorParams = std::move(values.editorParams);
    pluginConfig.maximizeStandaloneViewer = values.maximizeStandaloneViewer != 0;
    pluginConfig.focusEditorOnLoad = values.focusEditorOnLoad != 0;
    RebuildIndex(pluginConfig);
    LogPrintf(L"[PluginConfig::Load]   total: %zu mappings, %zu exts, handleExts=[%ls]",
              pluginConfig.mappings.size(), pluginConfig.extToGroup.size(), pluginConfig.handleExts.c_str());
    return !pluginConfig.handleExts.empty();
}

bool PluginConfig::Save(const PluginConfig& config) {
    LogWrite(L"[PluginConfig::Save] PluginConfig::Save\r\n");
    LoadOrSaveConfigFn loadOrSave =
        FindHostSettings(L"[PluginConfig::Save]   LoadOrSaveConfig API unavailable, cannot save\r\n");
    if (!loadOrSave) return false;
    std::wstring mappingText;
    std::wstring editorParams;
    int32_t maximizeStandaloneViewer = 0;
    int32_t focusEditorOnLoad = 0;
    {
        ConfigLockGuard lock;
        mappingText = SerializeMappings(config.mappings);
        editorParams = config.editorParams;
        maximizeStandaloneViewer = config.maximizeStandaloneViewer ? 1 : 0;
        focusEditorOnLoad = config.focusEditorOnLoad ? 1 : 0;
    }
    SettingsRecord record;
    BuildSettingsRecord(record, &mappingText[0], 0, &editorParams[0], 0, &maximizeStandaloneViewer,
                        &focusEditorOnLoad);
    bool succeeded = loadOrSave(kSaveMode, &record.header) != 0;
    LogPrintf(L"[PluginConfig::Save]   LoadOrSaveConfig(SAVE) return %d", succeeded ? 1 : 0);
    return succeeded;
}
