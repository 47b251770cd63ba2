#pragma once
// The host's alias file as text: where it lies, which sizes are read, and the scan for its
// entries. Plain standard C++, so that it is tested directly.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

// Lower-cased label -> folder text.
using AliasTable = std::unordered_map<std::wstring, std::wstring>;

// Called once for each entry that the scan stores, in the order of the text.
using AliasAddedFn = std::function<void(const std::wstring& label, const std::wstring& folder)>;

constexpr wchar_t kAliasFileName[] = L"folderaliases.oxc";
constexpr long long kMaxAliasFileBytes = 0x100000;

// The host's configuration path cut before its last separator, then "\folderaliases.oxc".
std::wstring AliasFilePathFor(const std::wstring& hostConfigPath);

// 1 to 1 MiB inclusive; a negative size (an unknown one) is refused like any other.
bool IsAliasFileSizeValid(long long size);

// Length of a leading UTF-8 byte-order mark: 3 or 0.
size_t Utf8ByteOrderMarkLength(const uint8_t* bytes, size_t size);

// Replaces the five predefined XML entities and numeric character references; anything that
// is not a well-formed reference to a valid character stays as written.
std::wstring DecodeXmlEntities(const std::wstring& text);

// Adds each entry of the alias file text whose label is not yet in table.
void ScanAliasEntries(const std::wstring& text, AliasTable& table, const AliasAddedFn& onAdded);
