#include "config/settings_record.h"

namespace {

constexpr wchar_t kSectionName[] = L"velloquin";

SettingEntry Entry(const wchar_t* key, uint32_t type, void* value, uint32_t size) {
    return SettingEntry{key, type, 0, value, size, 0};
}

}  // namespace

void BuildSettingsRecord(SettingsRecord& record, void* mappings, uint32_t mappingsSize, void* editorParams,
                         uint32_t editorParamsSize, int32_t* maximizeStandaloneViewer,
                         int32_t* focusEditorOnLoad, int32_t* keepEditorsReady) {
    record.entries[0] = Entry(L"mappings", kSettingTypeText, mappings, mappingsSize);
    record.entries[1] = Entry(L"editorParams", kSettingTypeText, editorParams, editorParamsSize);
    record.entries[2] = Entry(L"maximizeStandaloneViewer", kSettingTypeInteger, maximizeStandaloneViewer, 4);
    record.entries[3] = Entry(L"focusEditorOnLoad", kSettingTypeInteger, focusEditorOnLoad, 4);
    // Added last: a store that never saw the key leaves the zeroed integer, so it loads as off.
    record.entries[4] = Entry(L"keepEditorsReady", kSettingTypeInteger, keepEditorsReady, 4);
    record.header = SettingsHeader{sizeof(SettingsHeader), kSectionName, 0, kSettingCount, record.entries};
}
