#include "ui/mapping_dialog.h"

#include <commdlg.h>

#include <string>

#include "common/module_instance.h"
#include "common/window_data.h"
#include "log/log.h"
#include "resources/resource.h"
#include "ui/dialog_support.h"
#include "ui/mapping_fields.h"

namespace {

constexpr DWORD kBrowseFlags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;  // 0x1804

struct MappingField {
    int controlId;
    const wchar_t* name;  // as the warning names the field
};

constexpr MappingField kFields[] = {
    {IDC_EDIT_GROUP, L"Group"},
    {IDC_EDIT_EXTS, L"Extensions"},
    {IDC_EDIT_PATH, L"Editor Path"},
};

struct MappingRequest {
    GroupMapping* mapping;
    const wchar_t* title;
};

INT_PTR OnInitDialog(HWND dialog, LPARAM param) {
    const MappingRequest* request = AsPointer<MappingRequest>(param);
    GroupMapping* mapping = request->mapping;
    StoreWindowData(dialog, mapping);
    SetWindowTextW(dialog, request->title);
    SetDlgItemTextW(dialog, IDC_EDIT_GROUP, mapping->group.c_str());
    SetDlgItemTextW(dialog, IDC_EDIT_EXTS, mapping->exts.c_str());
    SetDlgItemTextW(dialog, IDC_EDIT_PATH, mapping->editorPath.c_str());
    SetDialogIcons(dialog);
    HWND groupField = GetDlgItem(dialog, IDC_EDIT_GROUP);
    SetFocus(groupField);
    SendMessageW(groupField, EM_SETSEL, 0, -1);
    LogWrite(L"[EditMappingDlgProc] EditMappingDlgProc WM_INITDIALOG OK\r\n");
    return FALSE;
}

// Blanks around a field would be lost when the table is read back, so they are never stored, and
// a field of blanks counts as empty. A TAB or line break inside a field would split the row.
bool ReadFields(HWND dialog, std::wstring (&values)[3]) {
    for (int i = 0; i < 3; ++i) values[i] = Trim(ReadControlText(dialog, kFields[i].controlId));
    for (const std::wstring& value : values) {
        if (value.empty()) {
            ShowMessage(dialog, L"Group, extensions, and path cannot be empty.", MB_ICONWARNING);
            return false;
        }
    }
    for (int i = 0; i < 3; ++i) {
        if (!HasRowSeparator(values[i])) continue;
        std::wstring text = std::wstring(kFields[i].name) + L" cannot contain a tab or a line break.";
        ShowMessage(dialog, text.c_str(), MB_ICONWARNING);
        return false;
    }
    return true;
}

void OnOk(HWND dialog) {
    std::wstring values[3];
    if (!ReadFields(dialog, values)) return;
    GroupMapping* mapping = GetWindowData<GroupMapping>(dialog);
    if (!mapping) return;
    mapping->group = values[0];
    mapping->exts = values[1];
    mapping->editorPath = values[2];
    EndDialog(dialog, IDOK);
}

// An alias path, a relative path or a %VARIABLE% would make the file-open dialog fail.
void PrepareInitialFile(wchar_t (&file)[MAX_PATH]) {
    if (IsWindowsPath(file)) return;
    LogPrintf(L"[EditMappingDlgProc]   path is not a valid Windows path, clearing initial file: %ls", file);
    file[0] = L'\0';
}

void OnBrowse(HWND dialog) {
    LogWrite(L"[EditMappingDlgProc] EditMappingDlgProc IDC_BTN_BROWSE clicked\r\n");
    wchar_t file[MAX_PATH] = {};
    GetDlgItemTextW(dialog, IDC_EDIT_PATH, file, MAX_PATH);
    PrepareInitialFile(file);
    OPENFILENAMEW request = {};
    request.lStructSize = sizeof(request);
    request.hwndOwner = dialog;
    request.lpstrFilter = L"Executable files (*.exe)\0*.exe\0All files (*.*)\0*.*\0";
    request.nFilterIndex = 1;
    request.lpstrFile = file;
    request.nMaxFile = MAX_PATH;
    request.Flags = kBrowseFlags;
    request.lpstrDefExt = L"exe";
    if (GetOpenFileNameW(&request)) {
        SetDlgItemTextW(dialog, IDC_EDIT_PATH, file);
        LogPrintf(L"[EditMappingDlgProc] EditMappingDlgProc GetOpenFileNameW OK: %ls", file);
    } else {
        LogPrintf(L"[EditMappingDlgProc] EditMappingDlgProc GetOpenFileNameW FAILED, err=%lu",
                  CommDlgExtendedError());
    }
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_BTN_BROWSE:
            OnBrowse(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK EditMappingDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (message) {
            case WM_INITDIALOG:
                return OnInitDialog(dialog, lParam);
            case WM_COMMAND:
                return OnCommand(dialog, wParam);
            default:
                return FALSE;
        }
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

bool EditMapping(HWND owner, GroupMapping& mapping, const wchar_t* title) {
    MappingRequest request{&mapping, title};
    INT_PTR result = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_EDIT_MAPPING), owner,
                                     EditMappingDlgProc, reinterpret_cast<LPARAM>(&request));
    return result == IDOK;
}
