#include "ui/dialog_support.h"

#include "common/module_instance.h"
#include "resources/resource.h"

std::wstring ReadControlText(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    int length = control ? GetWindowTextLengthW(control) : 0;
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(control, &text[0], length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

static HICON LoadPluginIcon(int size) {
    return static_cast<HICON>(LoadImageW(ModuleInstance(), MAKEINTRESOURCEW(IDI_VELLOQUIN), IMAGE_ICON, size,
                                         size, LR_DEFAULTCOLOR | LR_SHARED));
}

void SetDialogIcons(HWND dialog) {
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(LoadPluginIcon(16)));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(LoadPluginIcon(32)));
}

int ShowMessage(HWND owner, const wchar_t* text, UINT type) {
    return MessageBoxW(owner, text, L"velloquin", type);
}
