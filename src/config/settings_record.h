#pragma once
// The record LoadOrSaveConfigW receives, in the host's 64-bit layout. Free of Win32.

#include <cstddef>
#include <cstdint>

constexpr uint32_t kSettingTypeText = 4;
constexpr uint32_t kSettingTypeInteger = 0;
constexpr int kLoadMode = 0;
constexpr int kSaveMode = 1;

struct SettingEntry {
    const wchar_t* key;
    uint32_t type;
    uint32_t reserved1;
    void* value;
    uint32_t size;
    uint32_t reserved2;
};
static_assert(offsetof(SettingEntry, key) == 0, "entry key");
static_assert(offsetof(SettingEntry, type) == 8, "entry type");
static_assert(offsetof(SettingEntry, reserved1) == 12, "entry padding");
static_assert(offsetof(SettingEntry, value) == 16, "entry value");
static_assert(offsetof(SettingEntry, size) == 24, "entry size");
static_assert(offsetof(SettingEntry, reserved2) == 28, "entry padding");
static_assert(sizeof(SettingEntry) == 32, "entry");

struct SettingsHeader {
    uint64_t size;
    const wchar_t* section;
    uint32_t reserved;
    uint32_t count;
    SettingEntry* entries;
};
static_assert(offsetof(SettingsHeader, size) == 0, "header size");
static_assert(offsetof(SettingsHeader, section) == 8, "header section");
static_assert(offsetof(SettingsHeader, reserved) == 16, "header padding");
static_assert(offsetof(SettingsHeader, count) == 20, "header count");
static_assert(offsetof(SettingsHeader, entries) == 24, "header entries");
static_assert(sizeof(SettingsHeader) == 32, "header");

constexpr size_t kSettingCount = 5;

// The header and the five entries in their fixed order: mappings, editorParams,
// maximizeStandaloneViewer, focusEditorOnLoad, keepEditorsReady. Texts of size 0 are zero-terminated strings.
struct SettingsRecord {
    SettingsHeader header;
    SettingEntry entries[kSettingCount];
};

void BuildSettingsRecord(SettingsRecord& record, void* mappings, uint32_t mappingsSize, void* editorParams,
                         uint32_t editorParamsSize, int32_t* maximizeStandaloneViewer,
                         int32_t* focusEditorOnLoad, int32_t* keepEditorsReady);
