// PluginConfig::Load and PluginConfig::Save: the settings through the host's LoadOrSaveConfigW.
// The host is called without the config lock: a host may marshal the call to a thread that is
// itself waiting for that lock.

#include "config/config_lock.h"
#include "config/mapping_text.h"
#include "config/plugin_config.h"
#include "config/settings_record.h"
#include "host/host_services.h"
#include "log/log.h"

namespace {

struct LoadedValues {
    bool succeeded = false;
    std::wstring mappingBuffer;  // as the host filled it, up to its first zero
    std::vector<GroupMapping> rows;
    std::wstring editorParams;
    int32_t maximizeStandaloneViewer = 0;
    int32_t focusEditorOnLoad = 0;
    int32_t keepEditorsReady = 0;
};

// The mapping text of the last load and the rows it gave. The host is asked at every refresh, and
// most refreshes find the same text: then neither the parse nor the index is done again.
struct LastLoad {
    bool valid = false;
    std::wstring mappingText;
    bool usedDefaults = false;
    std::vector<GroupMapping> rows;
};

// All under the config lock.
LastLoad lastLoad;
// The long texts the log last showed in full: each refresh would otherwise repeat kilobytes.
std::wstring loggedMappingBuffer;
bool mappingBufferLogged = false;
std::wstring loggedHandleExts;
bool handleExtsLogged = false;

// Logs the lookup failures under the name of the operation that needed the host.
LoadOrSaveConfigFn FindHostSettings(const wchar_t* unavailableLine) {
    HMODULE host = FindHostModule();
    if (!host) LogWrite(L"[GetLoadOrSaveConfig] GetLoadOrSaveConfig: dopus.exe module not found\r\n");
    LoadOrSaveConfigFn loadOrSave = FindLoadOrSaveConfig(host);
    if (!loadOrSave) LogWrite(unavailableLine);
    return loadOrSave;
}

void LoadFromHost(LoadOrSaveConfigFn loadOrSave, LoadedValues& values) {
    std::vector<wchar_t> mappingBuffer(kMappingBufferUnits, L'\0');
    wchar_t paramsBuffer[kParamsBufferUnits] = {};
    SettingsRecord record;
    BuildSettingsRecord(record, mappingBuffer.data(), kMappingBufferUnits * sizeof(wchar_t), paramsBuffer,
                        sizeof(paramsBuffer), &values.maximizeStandaloneViewer, &values.focusEditorOnLoad,
                        &values.keepEditorsReady);
    values.succeeded = loadOrSave(kLoadMode, &record.header) != 0;
    // A host that fills a buffer to its end must not make us read past it.
    mappingBuffer[kMappingBufferUnits - 1] = L'\0';
    paramsBuffer[kParamsBufferUnits - 1] = L'\0';
    values.mappingBuffer = mappingBuffer.data();
    if (values.succeeded && paramsBuffer[0]) values.editorParams = paramsBuffer;
}

void LogLoadResult(const LoadedValues& values) {
    if (mappingBufferLogged && values.mappingBuffer == loggedMappingBuffer) {
        LogPrintf(L"[PluginConfig::Load]   LoadOrSaveConfig(LOAD) return %d, mapBuf unchanged",
                  values.succeeded ? 1 : 0);
        return;
    }
    LogPrintf(L"[PluginConfig::Load]   LoadOrSaveConfig(LOAD) return %d, mapBuf=[%ls]",
              values.succeeded ? 1 : 0,
              values.mappingBuffer.empty() ? L"(empty)" : values.mappingBuffer.c_str());
    loggedMappingBuffer = values.mappingBuffer;
    mappingBufferLogged = true;
}

void LogTotals() {
    if (handleExtsLogged && pluginConfig.handleExts == loggedHandleExts) {
        LogPrintf(L"[PluginConfig::Load]   total: %zu mappings, %zu exts, handleExts unchanged",
                  pluginConfig.mappings.size(), pluginConfig.extToGroup.size());
        return;
    }
    LogPrintf(L"[PluginConfig::Load]   total: %zu mappings, %zu exts, handleExts=[%ls]",
              pluginConfig.mappings.size(), pluginConfig.extToGroup.size(), pluginConfig.handleExts.c_str());
    loggedHandleExts = pluginConfig.handleExts;
    handleExtsLogged = true;
}

// The text safe to parse: without a last line that the buffer's end may have cut.
std::wstring TakeMappingText(const LoadedValues& values) {
    if (!values.succeeded) return std::wstring();
    LoadedMappingText loaded = TakeLoadedMappingText(values.mappingBuffer.c_str(), kMappingBufferUnits);
    if (loaded.lineDropped) {
        LogPrintf(
            L"[PluginConfig::Load]   mapping text fills the buffer, possibly cut last line dropped: [%ls]",
            loaded.droppedLine.c_str());
    }
    return loaded.text;
}

// Fills values.rows; true when they are the defaults.
bool ParseOrUseDefaults(const std::wstring& mappingText, LoadedValues& values) {
    if (!mappingText.empty()) values.rows = ParseMappings(mappingText);
    if (!values.rows.empty()) return false;
    LogWrite(L"[PluginConfig::Load]   no mappings loaded, using defaults\r\n");
    PopulateDefaults(values.rows, values.editorParams);
    return true;
}

// Under the config lock. The same text gives the same rows, and the same rows the same index:
// then only the editor paths that name environment variables are resolved again, as a rebuild
// would. The defaults are taken again each time, so that they log and clear editorParams as before.
void InstallValues(LoadedValues& values) {
    std::wstring mappingText = TakeMappingText(values);
    bool reuseRows = lastLoad.valid && !lastLoad.usedDefaults && mappingText == lastLoad.mappingText;
    bool usedDefaults = !reuseRows && ParseOrUseDefaults(mappingText, values);
    const std::vector<GroupMapping>& rows = reuseRows ? lastLoad.rows : values.rows;
    if (lastLoad.valid && rows == pluginConfig.mappings) {
        RefreshEnvironmentPaths(pluginConfig);
    } else {
        pluginConfig.mappings = rows;
        RebuildIndex(pluginConfig);
    }
    if (!reuseRows) {
        lastLoad.mappingText = std::move(mappingText);
        lastLoad.usedDefaults = usedDefaults;
        lastLoad.rows = std::move(values.rows);
        lastLoad.valid = true;
    }
    pluginConfig.editorParams = std::move(values.editorParams);
    pluginConfig.maximizeStandaloneViewer = values.maximizeStandaloneViewer != 0;
    pluginConfig.focusEditorOnLoad = values.focusEditorOnLoad != 0;
    pluginConfig.keepEditorsReady = values.keepEditorsReady != 0;
}

}  // namespace

bool PluginConfig::Load() {
    LogWrite(L"[PluginConfig::Load] PluginConfig::Load\r\n");
    LoadedValues values;
    LoadOrSaveConfigFn loadOrSave =
        FindHostSettings(L"[PluginConfig::Load]   LoadOrSaveConfig API unavailable, using defaults\r\n");
    if (loadOrSave) {
        LoadFromHost(loadOrSave, values);
        ConfigLockGuard lock;
        LogLoadResult(values);
    }
    ConfigLockGuard lock;
    InstallValues(values);
    LogTotals();
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
    int32_t keepEditorsReady = 0;
    {
        ConfigLockGuard lock;
        mappingText = SerializeMappings(config.mappings);
        editorParams = config.editorParams;
        maximizeStandaloneViewer = config.maximizeStandaloneViewer ? 1 : 0;
        focusEditorOnLoad = config.focusEditorOnLoad ? 1 : 0;
        keepEditorsReady = config.keepEditorsReady ? 1 : 0;
    }
    SettingsRecord record;
    BuildSettingsRecord(record, &mappingText[0], 0, &editorParams[0], 0, &maximizeStandaloneViewer,
                        &focusEditorOnLoad, &keepEditorsReady);
    bool succeeded = loadOrSave(kSaveMode, &record.header) != 0;
    LogPrintf(L"[PluginConfig::Save]   LoadOrSaveConfig(SAVE) return %d", succeeded ? 1 : 0);
    return succeeded;
}
