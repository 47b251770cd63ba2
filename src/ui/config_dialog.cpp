#include "ui/config_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <new>

#include "common/module_instance.h"
#include "common/window_data.h"
#include "config/config_lock.h"
#include "config/config_refresh.h"
#include "log/log.h"
#include "resources/resource.h"
#include "paths/alias_resolver.h"
#include "ui/dialog_support.h"
#include "ui/find_editors_dialog.h"
#include "ui/installed_editors.h"
#include "ui/mapping_dialog.h"
#include "ui/mapping_fields.h"

namespace {

constexpr UINT DVPLUGINMSG_REINITIALIZE = 0x8F1F;
constexpr DWORD kListExtendedStyles =
    LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;  // 0x10021
constexpr COLORREF kMissingEditorColor = RGB(192, 0, 0);

enum class Anchor { GrowBoth, MoveDown, MoveDownGrowWidth, MoveDownRight };

struct LayoutRule {
    int controlId;
    Anchor anchor;
};

// The order of ConfigDialogState::controlRects. Label 1008 stays where it is.
constexpr LayoutRule kLayout[kLayoutControlCount] = {
    {IDC_MAPPING_LIST, Anchor::GrowBoth},
    {IDC_BTN_ADD, Anchor::MoveDown},
    {IDC_BTN_EDIT, Anchor::MoveDown},
    {IDC_BTN_DELETE, Anchor::MoveDown},
    {IDC_BTN_UP, Anchor::MoveDown},
    {IDC_BTN_DOWN, Anchor::MoveDown},
    {IDC_BTN_FIND, Anchor::MoveDownRight},
    {IDC_PARAMS_LABEL, Anchor::MoveDown},
    {IDC_EDITOR_PARAMS, Anchor::MoveDownGrowWidth},
    {IDC_CONFIG_PATH_LABEL, Anchor::MoveDownGrowWidth},
    {IDOK, Anchor::MoveDownRight},
    {IDCANCEL, Anchor::MoveDownRight},
    {IDC_CHECK_MAXIMIZE, Anchor::MoveDownGrowWidth},
    {IDC_CHECK_FOCUS, Anchor::MoveDownGrowWidth},
    {IDC_CHECK_KEEP_READY, Anchor::MoveDownGrowWidth},
};

struct ListColumn {
    const wchar_t* header;
    int width;
};

constexpr ListColumn kColumns[] = {{L"Group", 80}, {L"Extensions", 180}, {L"Editor Path", 320}};

HWND MappingList(HWND dialog) {
    return GetDlgItem(dialog, IDC_MAPPING_LIST);
}

void SetUpColumns(HWND list) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, kListExtendedStyles);
    for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = kColumns[i].width;
        column.pszText = const_cast<wchar_t*>(kColumns[i].header);
        column.iSubItem = i;
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void SetCellText(HWND list, int row, int column, const std::wstring& text) {
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

void FillList(HWND dialog, const std::vector<GroupMapping>& rows) {
    HWND list = MappingList(dialog);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<wchar_t*>(rows[i].group.c_str());
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        SetCellText(list, i, 1, rows[i].exts);
        SetCellText(list, i, 2, rows[i].editorPath);
    }
}

RECT ClientRectOf(HWND dialog, HWND control) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void WidenCheckBoxes(HWND dialog) {
    RECT field = ClientRectOf(dialog, GetDlgItem(dialog, IDC_EDITOR_PARAMS));
    for (int id : {IDC_CHECK_MAXIMIZE, IDC_CHECK_FOCUS, IDC_CHECK_KEEP_READY}) {
        HWND box = GetDlgItem(dialog, id);
        RECT own = ClientRectOf(dialog, box);
        SetWindowPos(box, nullptr, 0, 0, field.right - field.left, own.bottom - own.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void RecordLayout(HWND dialog, ConfigDialogState& state) {
    RECT client = {};
    GetClientRect(dialog, &client);
    state.minWidth = client.right;
    state.minHeight = client.bottom;
    RECT frame = {};
    GetWindowRect(dialog, &frame);
    state.minTrackWidth = frame.right - frame.left;
    state.minTrackHeight = frame.bottom - frame.top;
    for (int i = 0; i < kLayoutControlCount; ++i) {
        state.controlRects[i] = ClientRectOf(dialog, GetDlgItem(dialog, kLayout[i].controlId));
    }
}

// The check boxes' settings, copied in at WM_INITDIALOG and out at OK.
struct DialogFlags {
    bool maximize = false;
    bool focus = false;
    bool keepReady = false;
};

struct FlagBox {
    int controlId;
    bool DialogFlags::*flag;
};

constexpr FlagBox kFlagBoxes[] = {{IDC_CHECK_MAXIMIZE, &DialogFlags::maximize},
                                  {IDC_CHECK_FOCUS, &DialogFlags::focus},
                                  {IDC_CHECK_KEEP_READY, &DialogFlags::keepReady}};

DialogFlags CopySettingsInto(ConfigDialogState& state) {
    ConfigLockGuard lock;
    state.mappings = pluginConfig.mappings;
    state.editorParams = pluginConfig.editorParams;
    DialogFlags flags;
    flags.maximize = pluginConfig.maximizeStandaloneViewer;
    flags.focus = pluginConfig.focusEditorOnLoad;
    flags.keepReady = pluginConfig.keepEditorsReady;
    return flags;
}

void CheckFlagBoxes(HWND dialog, const DialogFlags& flags) {
    for (const FlagBox& box : kFlagBoxes)
        CheckDlgButton(dialog, box.controlId, flags.*box.flag ? BST_CHECKED : BST_UNCHECKED);
}

DialogFlags ReadFlagBoxes(HWND dialog) {
    DialogFlags flags;
    for (const FlagBox& box : kFlagBoxes)
        flags.*box.flag = IsDlgButtonChecked(dialog, box.controlId) == BST_CHECKED;
    return flags;
}

INT_PTR OnInitDialog(HWND dialog, LPARAM param) {
    ConfigDialogState* state = AsPointer<ConfigDialogState>(param);
    StoreWindowData(dialog, state);
    const DialogFlags flags = CopySettingsInto(*state);
    SetUpColumns(MappingList(dialog));
    FillList(dialog, state->mappings);
    // The host returns at most 1023 units of editorParams when it loads them.
    SendDlgItemMessageW(dialog, IDC_EDITOR_PARAMS, EM_LIMITTEXT, kMaxEditorParamsUnits, 0);
    SetDlgItemTextW(dialog, IDC_EDITOR_PARAMS, state->editorParams.c_str());
    SetDlgItemTextW(dialog, IDC_CONFIG_PATH_LABEL, CurrentConfigPath().c_str());
    CheckFlagBoxes(dialog, flags);
    WidenCheckBoxes(dialog);
    RecordLayout(dialog, *state);
    SetDialogIcons(dialog);
    LogWrite(L"[ConfigDlgProc] ConfigDlgProc WM_INITDIALOG OK\r\n");
    return TRUE;
}

// The host's load buffer would return a longer text cut, losing the rows at its end.
bool MappingTextFits(HWND dialog, const std::vector<GroupMapping>& rows) {
    size_t length = SerializeMappings(rows).size();
    if (length <= kMaxMappingTextUnits) return true;
    std::wstring text = L"The mappings are too long to be saved: " + std::to_wstring(length) +
                        L" characters, at most " + std::to_wstring(kMaxMappingTextUnits) +
                        L". Remove or shorten some mappings.";
    ShowMessage(dialog, text.c_str(), MB_ICONERROR);
    return false;
}

// The host's store is called without the config lock: the host may marshal it to a thread that
// waits for that lock.
bool StoreSettings(const ConfigDialogState& state, const DialogFlags& flags) {
    PluginConfig saved;
    {
        ConfigLockGuard lock;
        pluginConfig.mappings = state.mappings;
        pluginConfig.editorParams = state.editorParams;
        pluginConfig.maximizeStandaloneViewer = flags.maximize;
        pluginConfig.focusEditorOnLoad = flags.focus;
        pluginConfig.keepEditorsReady = flags.keepReady;
        RebuildIndex(pluginConfig);
        saved.mappings = pluginConfig.mappings;
        saved.editorParams = pluginConfig.editorParams;
        saved.maximizeStandaloneViewer = flags.maximize;
        saved.focusEditorOnLoad = flags.focus;
        saved.keepEditorsReady = flags.keepReady;
    }
    return PluginConfig::Save(saved);
}

void NotifyHost(const ConfigDialogState& state) {
    if (!state.notifyWindow) return;
    PostMessageW(state.notifyWindow, DVPLUGINMSG_REINITIALIZE, 0, static_cast<LPARAM>(state.notifyData));
    LogPrintf(L"[ConfigDlgProc]   PostMessage DVPLUGINMSG_REINITIALIZE to 0x%p, data=%lu", state.notifyWindow,
              state.notifyData);
}

bool EditorFileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void SelectListRow(HWND dialog, int row) {
    HWND list = MappingList(dialog);
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
}

// Rows whose editor is not there are named, marked in the list and the first one selected; the
// user saves them anyway or stays to fix them. False: stay (or the dialog is gone).
bool ConfirmMissingEditors(HWND dialog, ConfigDialogState& state) {
    const std::vector<size_t> missing = MissingEditorRows(state.mappings, ResolveEditorPath, EditorFileExists);
    state.missingEditors.clear();
    for (size_t row : missing) state.missingEditors.push_back(state.mappings[row].editorPath);
    if (missing.empty()) return true;
    LogPrintf(L"[ConfigDlgProc] OK: %zu rows name an editor that does not exist", missing.size());
    InvalidateRect(MappingList(dialog), nullptr, TRUE);
    SelectListRow(dialog, static_cast<int>(missing.front()));
    const std::wstring question = MissingEditorsQuestion(state.mappings, missing, ResolveEditorPath);
    const int answer = ShowMessage(dialog, question.c_str(), MB_ICONWARNING | MB_YESNO);
    // The message box ran a message loop; the dialog may be gone.
    return answer == IDYES && IsWindow(dialog) && GetWindowData<ConfigDialogState>(dialog) == &state;
}

void OnOk(HWND dialog, ConfigDialogState& state) {
    if (!MappingTextFits(dialog, state.mappings)) return;
    if (!ConfirmMissingEditors(dialog, state)) return;
    state.editorParams = ReadControlText(dialog, IDC_EDITOR_PARAMS);
    if (!StoreSettings(state, ReadFlagBoxes(dialog))) {
        std::wstring text = L"Failed to save config:\n  " + CurrentConfigPath();
        ShowMessage(dialog, text.c_str(), MB_ICONERROR);
    }
    // The message box above ran a message loop; the dialog may be gone.
    if (!IsWindow(dialog) || GetWindowData<ConfigDialogState>(dialog) != &state) return;
    NotifyHost(state);
    DestroyWindow(dialog);
}

int SelectedRow(HWND dialog) {
    return static_cast<int>(
        SendMessageW(MappingList(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// The selected row, or -1 after telling the user to select one.
int SelectedRowOrSay(HWND dialog) {
    const int row = SelectedRow(dialog);
    if (row < 0) ShowMessage(dialog, L"Please select a mapping first.", MB_ICONINFORMATION);
    return row;
}

// The record is looked up again after every nested message loop (editor, message box): the
// dialog may have been destroyed meanwhile, and Add may have moved the rows.
ConfigDialogState* LiveState(HWND dialog) {
    return IsWindow(dialog) ? GetWindowData<ConfigDialogState>(dialog) : nullptr;
}

void EditRow(HWND dialog, int row) {
    ConfigDialogState* state = LiveState(dialog);
    if (!state || row < 0 || row >= static_cast<int>(state->mappings.size())) return;
    GroupMapping edited = state->mappings[row];
    if (!EditMapping(dialog, edited, L"Edit Mapping")) return;
    state = LiveState(dialog);
    if (!state || row >= static_cast<int>(state->mappings.size())) return;
    state->mappings[row] = edited;
    FillList(dialog, state->mappings);
}

void OnAdd(HWND dialog) {
    GroupMapping added;
    if (!EditMapping(dialog, added, L"Add Mapping")) return;
    ConfigDialogState* state = LiveState(dialog);
    if (!state) return;
    state->mappings.push_back(added);
    FillList(dialog, state->mappings);
    SelectListRow(dialog, static_cast<int>(state->mappings.size()) - 1);
}

// Row order decides which group owns an extension: Up and Down move the selected row, which
// stays selected.
void OnMove(HWND dialog, int step) {
    ConfigDialogState* state = LiveState(dialog);
    const int row = SelectedRow(dialog);
    const int target = row + step;
    if (!state || row < 0 || target < 0 || target >= static_cast<int>(state->mappings.size())) return;
    std::swap(state->mappings[row], state->mappings[target]);
    FillList(dialog, state->mappings);
    SelectListRow(dialog, target);
}

void OnFindEditors(HWND dialog) {
    const int row = SelectedRowOrSay(dialog);
    if (row < 0) return;
    const std::vector<FoundEditor> found = FindInstalledEditors();
    if (found.empty()) {
        ShowMessage(dialog,
                    L"No supported editor (Notepad4, Notepad3, Notepad++, EverEdit, EmEditor) was found on "
                    L"this machine. Choose one with Edit and \"...\".",
                    MB_ICONINFORMATION);
        return;
    }
    std::wstring chosen;
    if (!ChooseFoundEditor(dialog, found, chosen)) return;
    ConfigDialogState* state = LiveState(dialog);
    if (!state || row >= static_cast<int>(state->mappings.size())) return;
    state->mappings[row].editorPath = chosen;
    FillList(dialog, state->mappings);
    SelectListRow(dialog, row);
}

void OnEdit(HWND dialog) {
    const int row = SelectedRowOrSay(dialog);
    if (row >= 0) EditRow(dialog, row);
}

void OnDelete(HWND dialog) {
    int row = SelectedRow(dialog);
    if (row < 0) return;
    if (ShowMessage(dialog, L"Delete the selected mapping?", MB_ICONQUESTION | MB_YESNO) != IDYES) return;
    ConfigDialogState* state = LiveState(dialog);
    if (!state || row >= static_cast<int>(state->mappings.size())) return;
    state->mappings.erase(state->mappings.begin() + row);
    FillList(dialog, state->mappings);
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) {
    ConfigDialogState* state = GetWindowData<ConfigDialogState>(dialog);
    switch (LOWORD(wParam)) {
        case IDOK:
            if (state) OnOk(dialog, *state);
            return TRUE;
        case IDCANCEL:
            DestroyWindow(dialog);
            return TRUE;
        case IDC_BTN_ADD:
            OnAdd(dialog);
            return TRUE;
        case IDC_BTN_EDIT:
            OnEdit(dialog);
            return TRUE;
        case IDC_BTN_DELETE:
            OnDelete(dialog);
            return TRUE;
        case IDC_BTN_UP:
            OnMove(dialog, -1);
            return TRUE;
        case IDC_BTN_DOWN:
            OnMove(dialog, 1);
            return TRUE;
        case IDC_BTN_FIND:
            OnFindEditors(dialog);
            return TRUE;
        default:
            return FALSE;
    }
}

bool IsMarkedRow(const ConfigDialogState& state, size_t row) {
    if (row >= state.mappings.size()) return false;
    const std::vector<std::wstring>& marked = state.missingEditors;
    return std::find(marked.begin(), marked.end(), state.mappings[row].editorPath) != marked.end();
}

// Rows whose editor was missing at the last OK are drawn in red until their path changes.
LRESULT OnListCustomDraw(HWND dialog, NMLVCUSTOMDRAW& draw) {
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
    const ConfigDialogState* state = GetWindowData<ConfigDialogState>(dialog);
    if (!state || !IsMarkedRow(*state, static_cast<size_t>(draw.nmcd.dwItemSpec))) return CDRF_DODEFAULT;
    draw.clrText = kMissingEditorColor;
    return CDRF_NEWFONT;
}

INT_PTR OnNotify(HWND dialog, LPARAM lParam) {
    NMHDR* header = AsPointer<NMHDR>(lParam);
    if (!header || header->idFrom != IDC_MAPPING_LIST) return FALSE;
    if (header->code == NM_DBLCLK) PostMessageW(dialog, WM_APP, 0, 0);
    if (header->code != NM_CUSTOMDRAW) return FALSE;
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, OnListCustomDraw(dialog, *AsPointer<NMLVCUSTOMDRAW>(lParam)));
    return TRUE;
}

INT_PTR OnDoubleClick(HWND dialog) {
    int row = SelectedRow(dialog);
    LogPrintf(L"[ConfigDlgProc] ConfigDlgProc WM_APP: sel=%d", row);
    if (row >= 0) EditRow(dialog, row);
    return FALSE;
}

RECT LaidOut(const RECT& initial, Anchor anchor, int dx, int dy) {
    RECT rect = initial;
    if (anchor == Anchor::GrowBoth) {
        rect.right += dx;
        rect.bottom += dy;
        return rect;
    }
    OffsetRect(&rect, anchor == Anchor::MoveDownRight ? dx : 0, dy);
    if (anchor == Anchor::MoveDownGrowWidth) rect.right += dx;
    return rect;
}

UINT LayoutFlags(Anchor anchor) {
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (anchor == Anchor::MoveDown || anchor == Anchor::MoveDownRight) flags |= SWP_NOSIZE;
    return flags;
}

INT_PTR OnSize(HWND dialog, WPARAM type, LPARAM lParam) {
    const ConfigDialogState* state = GetWindowData<ConfigDialogState>(dialog);
    if (!state || state->minWidth <= 0 || type == SIZE_MINIMIZED) return FALSE;
    int dx = std::max<int>(LOWORD(lParam), state->minWidth) - state->minWidth;
    int dy = std::max<int>(HIWORD(lParam), state->minHeight) - state->minHeight;
    HDWP positions = BeginDeferWindowPos(kLayoutControlCount);
    if (!positions) return FALSE;
    for (int i = 0; i < kLayoutControlCount && positions; ++i) {
        RECT rect = LaidOut(state->controlRects[i], kLayout[i].anchor, dx, dy);
        positions =
            DeferWindowPos(positions, GetDlgItem(dialog, kLayout[i].controlId), nullptr, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, LayoutFlags(kLayout[i].anchor));
    }
    if (!positions) return FALSE;
    EndDeferWindowPos(positions);
    InvalidateRect(MappingList(dialog), nullptr, TRUE);
    return TRUE;
}

INT_PTR OnGetMinMaxInfo(HWND dialog, LPARAM lParam) {
    const ConfigDialogState* state = GetWindowData<ConfigDialogState>(dialog);
    MINMAXINFO* info = AsPointer<MINMAXINFO>(lParam);
    if (!state || state->minTrackWidth <= 0 || !info) return FALSE;
    info->ptMinTrackSize.x = state->minTrackWidth;
    info->ptMinTrackSize.y = state->minTrackHeight;
    return FALSE;
}

// A dialog that never got its record (creation failed before WM_INITDIALOG) must not end the
// caller's message loop: its creator frees the record and reports the failure.
INT_PTR OnNcDestroy(HWND dialog) {
    ConfigDialogState* state = GetWindowData<ConfigDialogState>(dialog);
    if (state) {
        StoreWindowData<ConfigDialogState>(dialog, nullptr);
        delete state;
    }
    LogWrite(L"[ConfigDlgProc] ConfigDlgProc WM_NCDESTROY\r\n");
    if (state) PostQuitMessage(0);
    return FALSE;
}

INT_PTR CALLBACK ConfigDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        switch (message) {
            case WM_INITDIALOG:
                return OnInitDialog(dialog, lParam);
            case WM_COMMAND:
                return OnCommand(dialog, wParam);
            case WM_NOTIFY:
                return OnNotify(dialog, lParam);
            case WM_APP:
                return OnDoubleClick(dialog);
            case WM_SIZE:
                return OnSize(dialog, wParam, lParam);
            case WM_GETMINMAXINFO:
                return OnGetMinMaxInfo(dialog, lParam);
            case WM_NCDESTROY:
                return OnNcDestroy(dialog);
            default:
                return FALSE;
        }
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

HWND CreateConfigDialog(HWND parent, HWND notifyWindow, DWORD notifyData) {
    LogWrite(L"[CreateConfigDialog] CreateConfigDialog enter\r\n");
    ConfigDialogState* state = new (std::nothrow) ConfigDialogState();
    if (!state) {
        LogWrite(L"[CreateConfigDialog]   failed to alloc ConfigDialogState\r\n");
        return nullptr;
    }
    state->notifyWindow = notifyWindow;
    state->notifyData = notifyData;
    HWND dialog = CreateDialogParamW(ModuleInstance(), MAKEINTRESOURCEW(IDD_CONFIG), parent, ConfigDlgProc,
                                     reinterpret_cast<LPARAM>(state));
    if (!dialog) {
        LogPrintf(L"[CreateConfigDialog]   CreateDialogParamW FAILED, err=%lu", GetLastError());
        delete state;
        return nullptr;
    }
    ShowWindow(dialog, SW_SHOW);
    LogPrintf(L"[CreateConfigDialog]   CreateDialogParamW OK, hwnd=0x%p", dialog);
    return dialog;
}
