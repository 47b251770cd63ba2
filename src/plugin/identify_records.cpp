#include "plugin/identify_records.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr uint32_t kCapabilityFlags = 0x4C10;
constexpr uint32_t kPluginVersionHigh = 0x00010000;  // 1.0.0.0, as in the version resource
constexpr uint32_t kPluginVersionLow = 0;
constexpr uint32_t kPluginFileType = 2;
// {1A2B3C4D-5E6F-7A8B-9C0D-1E2F3A4B5C6D} in GUID memory order.
constexpr uint8_t kPluginIdentifier[16] = {0x4D, 0x3C, 0x2B, 0x1A, 0x6F, 0x5E, 0x8B, 0x7A,
                                           0x9C, 0x0D, 0x1E, 0x2F, 0x3A, 0x4B, 0x5C, 0x6D};
constexpr wchar_t kPluginName[] = L"velloquin";
constexpr wchar_t kPluginDescription[] =
    L"Directory Opus text file viewer plugin (notepad3/notepad4/notepad++/EverEdit/EmEditor/...)";
constexpr wchar_t kPluginCopyright[] = L"Copyright (C) 2026 the velloquin authors";
constexpr uint32_t kFileInfoFlags = 2;
constexpr uint32_t kFileInfoType = 2;
constexpr uint32_t kFileInfoBitDepth = 32;

template <typename T>
T ReadAt(const void* record, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const uint8_t*>(record) + offset, sizeof(T));
    return value;
}

template <typename T>
void WriteAt(void* record, size_t offset, const T& value) {
    std::memcpy(static_cast<uint8_t*>(record) + offset, &value, sizeof(T));
}

void CopyText(void* record, size_t bufferOffset, size_t capacityOffset, const std::wstring& text) {
    CopyTruncated(ReadAt<wchar_t*>(record, bufferOffset), ReadAt<uint32_t>(record, capacityOffset), text);
}

}  // namespace

void CopyTruncated(wchar_t* buffer, uint32_t capacity, const std::wstring& text) {
    if (!buffer || capacity == 0) return;
    size_t length = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(buffer, text.data(), length * sizeof(wchar_t));
    buffer[length] = L'\0';
}

void CopyWholeExtensions(wchar_t* buffer, uint32_t capacity, const std::wstring& list) {
    if (!buffer || capacity == 0) return;
    size_t room = capacity - 1;
    if (list.size() <= room || list[room] == L';') {
        CopyTruncated(buffer, capacity, list);
        return;
    }
    size_t lastSeparator = list.rfind(L';', room);
    CopyTruncated(buffer, capacity,
                  lastSeparator == std::wstring::npos ? std::wstring() : list.substr(0, lastSeparator));
}

void FillPluginInfo(void* record, const std::wstring& handleExts, void* smallIcon, void* largeIcon) {
    namespace at = plugin_info;
    WriteAt(record, at::kSize, at::kRecordSize);
    WriteAt(record, at::kFlags, kCapabilityFlags);
    WriteAt(record, at::kVersionHigh, kPluginVersionHigh);
    WriteAt(record, at::kVersionLow, kPluginVersionLow);
    WriteAt(record, at::kMajorFileType, kPluginFileType);
    WriteAt(record, at::kIdentifier, kPluginIdentifier);
    CopyWholeExtensions(ReadAt<wchar_t*>(record, at::kHandleExtsBuffer),
                        ReadAt<uint32_t>(record, at::kHandleExtsCapacity), handleExts);
    CopyText(record, at::kNameBuffer, at::kNameCapacity, kPluginName);
    CopyText(record, at::kDescriptionBuffer, at::kDescriptionCapacity, kPluginDescription);
    CopyText(record, at::kCopyrightBuffer, at::kCopyrightCapacity, kPluginCopyright);
    CopyText(record, at::kUrlBuffer, at::kUrlCapacity, std::wstring());
    WriteAt(record, at::kSmallIcon, smallIcon);
    WriteAt(record, at::kLargeIcon, largeIcon);
}

std::wstring FileDescription(const wchar_t* fileName) {
    const wchar_t* dot = fileName ? wcsrchr(fileName, L'.') : nullptr;
    return std::wstring(L"velloquin (") + (dot ? dot + 1 : L"") + L")";
}

void FillFileInfo(void* record, const wchar_t* fileName) {
    namespace at = file_info;
    WriteAt(record, at::kSize, at::kRecordSize);
    WriteAt(record, at::kFlags, kFileInfoFlags);
    WriteAt(record, at::kFileType, kFileInfoType);
    WriteAt(record, at::kBitDepth, kFileInfoBitDepth);
    CopyText(record, at::kDescriptionBuffer, at::kDescriptionCapacity, FileDescription(fileName));
}
