// DVP_IdentifyW and DVP_IdentifyFileW: who the plug-in is, and whether it shows a given file.

#include "common/module_instance.h"
#include "config/config_lock.h"
#include "config/config_refresh.h"
#include "config/plugin_config.h"
#include "editor_settings/put_back.h"
#include "log/log.h"
#include "plugin/exports.h"
#include "plugin/identify_records.h"
#include "resources/resource.h"

namespace {

constexpr int kSmallIconPixels = 16;
constexpr int kLargeIconPixels = 32;

// Shared icons are owned by the system: the host may keep them, and repeated calls leak nothing.
HICON LoadPluginIcon(int pixels) {
    return static_cast<HICON>(
        LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_VELLOQUIN), IMAGE_ICON, pixels, pixels, LR_SHARED));
}

// The refresh calls the host, so it runs without the config lock; the reads take the lock and
// never see a half-built index.
std::wstring RefreshAndTakeHandleExts() {
    // The host's first call: the loader lock is not held here, as it would be in DllMain.
    CompleteOwedPutBacksOfEarlierLoads();
    RefreshConfiguration();
    ConfigLockGuard lock;
    return pluginConfig.handleExts;
}

std::wstring RefreshAndFindViewer(const wchar_t* fileName) {
    RefreshConfiguration();
    return pluginConfig.FindViewerForFile(fileName);
}

BOOL IdentifyPlugin(void* viewerPluginInfo) {
    LogWrite(L"[DVP_IdentifyW] DVP_IdentifyW ENTER\r\n");
    if (!viewerPluginInfo) {
        LogWrite(L"[DVP_IdentifyW] DVP_IdentifyW: lpVPInfo=NULL, return FALSE\r\n");
        return FALSE;
    }
    std::wstring handleExts = RefreshAndTakeHandleExts();
    LogPrintf(L"[DVP_IdentifyW]   handleExts=[%ls]", handleExts.c_str());
    FillPluginInfo(viewerPluginInfo, handleExts, LoadPluginIcon(kSmallIconPixels),
                   LoadPluginIcon(kLargeIconPixels));
    LogWrite(L"[DVP_IdentifyW] DVP_IdentifyW return TRUE\r\n");
    return TRUE;
}

BOOL IdentifyFile(const wchar_t* fileName, void* fileInfo) {
    LogPrintf(L"[DVP_IdentifyFileW] DVP_IdentifyFileW ENTER, file=[%ls]", fileName ? fileName : L"(null)");
    if (!fileName || !fileInfo) {
        LogWrite(L"[DVP_IdentifyFileW] DVP_IdentifyFileW: null arg, FALSE\r\n");
        return FALSE;
    }
    std::wstring viewer = RefreshAndFindViewer(fileName);
    if (viewer.empty()) {
        LogWrite(L"[DVP_IdentifyFileW] DVP_IdentifyFileW: no viewer, FALSE\r\n");
        return FALSE;
    }
    LogPrintf(L"[DVP_IdentifyFileW]   matched viewer=[%ls]", viewer.c_str());
    FillFileInfo(fileInfo, fileName);
    LogWrite(L"[DVP_IdentifyFileW] DVP_IdentifyFileW return TRUE\r\n");
    return TRUE;
}

}  // namespace

BOOL WINAPI DVP_IdentifyW(void* viewerPluginInfo) noexcept {
    try {
        return IdentifyPlugin(viewerPluginInfo);
    } catch (...) {
        return FALSE;
    }
}

BOOL WINAPI DVP_IdentifyFileW(HWND, LPWSTR fileName, void* fileInfo, HANDLE) noexcept {
    try {
        return IdentifyFile(fileName, fileInfo);
    } catch (...) {
        return FALSE;
    }
}
