#include "ui/find_editors_dialog.h"

#include "common/module_instance.h"
#include "common/window_data.h"
#include "log/log.h"
#include "resources/resource.h"
#include "ui/dialog_support.h"

namespace {

// Copied in at WM_INITDIALOG, the choice copied out at OK.
struct FindEditorsRequest {
    const std::vector<FoundEditor>* found;
    std::wstring chosen;
};

HWND FoundList(HWND dialog) {
    return GetDlgItem(dialog, IDC_FOUND_LIST);
}

INT_PTR OnInitDialog(HWND dialog, LPARAM param) {
    FindEditorsRequest* request = AsPointer<FindEditorsRequest>(param);
    StoreWindowData(dialog, request);
    HWND list = FoundList(dialog);
    for (const FoundEditor& editor : *request->found) {
        std::wstring line = editor.name + L": " + editor.path;
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    }
    SendMessageW(list, LB_SETCURSEL, 0, 0);
    SetDialogIcons(dialog);
    SetFocus(list);
    return FALSE;
}

void OnOk(HWND dialog) {
    FindEditorsRequest* request = GetWindowData<FindEditorsRequest>(dialog);
    const LRESULT index = SendMessageW(FoundList(dialog), LB_GETCURSEL, 0, 0);
    if (!request || index < 0 || static_cast<size_t>(index) >= request->found->size()) return;
    request->chosen = (*request->found)[static_cast<size_t>(index)].path;
    EndDialog(dialog, IDOK);
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    switch (LOWORD(wParam)) {
        case IDOK:
            OnOk(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        case IDC_FOUND_LIST:
            if (HIWORD(wParam) == LBN_DBLCLK) OnOk(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK FindEditorsDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
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

bool ChooseFoundEditor(HWND owner, const std::vector<FoundEditor>& found, std::wstring& chosen) {
    FindEditorsRequest request{&found, std::wstring()};
    INT_PTR result = DialogBoxParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_FIND_EDITORS), owner,
                                     FindEditorsDlgProc, reinterpret_cast<LPARAM>(&request));
    if (result != IDOK) return false;
    LogPrintf(L"[FindEditors] chosen: [%ls]", request.chosen.c_str());
    chosen = request.chosen;
    return true;
}
