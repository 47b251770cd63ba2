#pragma once
// The host's identification records, 64-bit layout, written field by field at fixed byte offsets
// so that no other byte of the host's record is touched. Free of Win32.

#include <cstddef>
#include <cstdint>
#include <string>

// The record DVP_IdentifyW fills.
namespace plugin_info {
constexpr size_t kSize = 0;
constexpr size_t kFlags = 4;
constexpr size_t kVersionHigh = 8;
constexpr size_t kVersionLow = 12;
constexpr size_t kHandleExtsBuffer = 16;
constexpr size_t kNameBuffer = 24;
constexpr size_t kDescriptionBuffer = 32;
constexpr size_t kCopyrightBuffer = 40;
constexpr size_t kUrlBuffer = 48;
constexpr size_t kHandleExtsCapacity = 56;
constexpr size_t kNameCapacity = 60;
constexpr size_t kDescriptionCapacity = 64;
constexpr size_t kCopyrightCapacity = 68;
constexpr size_t kUrlCapacity = 72;
constexpr size_t kMajorFileType = 112;
constexpr size_t kIdentifier = 116;
constexpr size_t kSmallIcon = 144;
constexpr size_t kLargeIcon = 152;
constexpr uint32_t kRecordSize = 160;
}  // namespace plugin_info

// The record DVP_IdentifyFileW fills.
namespace file_info {
constexpr size_t kSize = 0;
constexpr size_t kFlags = 4;
constexpr size_t kFileType = 8;
constexpr size_t kBitDepth = 20;
constexpr size_t kDescriptionBuffer = 24;
constexpr size_t kDescriptionCapacity = 32;
constexpr uint32_t kRecordSize = 104;
}  // namespace file_info

// Copies text cut to capacity - 1 units, always terminated. Nothing for a null buffer or capacity 0.
void CopyTruncated(wchar_t* buffer, uint32_t capacity, const std::wstring& text);

// Copies a ";"-separated extension list; one that does not fit is cut after the last whole
// extension that does, so the host is never told about a shortened extension.
void CopyWholeExtensions(wchar_t* buffer, uint32_t capacity, const std::wstring& list);

// Writes size, flags, version, file type, identifier, the four texts, an empty URL and the icons.
void FillPluginInfo(void* record, const std::wstring& handleExts, void* smallIcon, void* largeIcon);

// "velloquin (<extension as given>)" for a file name that has a ".".
std::wstring FileDescription(const wchar_t* fileName);

// Writes size, flags, file type, bit depth and the description of fileName.
void FillFileInfo(void* record, const wchar_t* fileName);
