// The two exports that create windows: the viewer and the settings dialog.

#include "config/config_refresh.h"
#include "editor_settings/put_back.h"
#include "log/log.h"
#include "plugin/exports.h"
#include "ui/config_dialog.h"
#include "viewer/viewer_window.h"

HWND WINAPI DVP_CreateViewer(HWND parent, LPRECT rect, DWORD flags) noexcept {
    try {
        CompleteOwedPutBacksOfEarlierLoads();
        return CreateViewer(parent, rect, flags);
    } catch (...) {
        return nullptr;
    }
}

// The host may call this from any of its threads; the dialog lives on the calling thread.
HWND WINAPI DVP_Configure(HWND parent, HWND notifyWindow, DWORD notifyData) noexcept {
    try {
        LogWrite(L"[DVP_Configure] DVP_Configure ENTER\r\n");
        RefreshConfiguration();
        HWND dialog = CreateConfigDialog(parent, notifyWindow, notifyData);
        LogPrintf(L"[DVP_Configure] DVP_Configure return hwnd=0x%p", dialog);
        return dialog;
    } catch (...) {
        return nullptr;
    }
}
