#include "paths/alias_file.h"

#include <windows.h>

#include <vector>

#include "common/handles.h"
#include "host/host_services.h"
#include "log/log.h"
#include "paths/alias_scan.h"

namespace {

constexpr int kConfigPathCapacityUnits = 260;

long long QueryFileSize(HANDLE file) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size)) return -1;
    return size.QuadPart;
}

std::wstring DecodeUtf8(const std::vector<uint8_t>& bytes) {
    size_t skip = Utf8ByteOrderMarkLength(bytes.data(), bytes.size());
    const char* start = reinterpret_cast<const char*>(bytes.data()) + skip;
    int byteCount = static_cast<int>(bytes.size() - skip);
    if (byteCount == 0) return std::wstring();
    int units = MultiByteToWideChar(CP_UTF8, 0, start, byteCount, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, start, byteCount, &text[0], units);
    return text;
}

}  // namespace

bool ReadAliasFile(const std::wstring& path, std::wstring& text) {
    LogPrintf(L"[AliasResolver::Load] AliasResolver: loading [%ls]", path.c_str());
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        LogPrintf(L"[AliasResolver::Load] AliasResolver: folderaliases.oxc not found (err=%lu)", error);
        return false;
    }
    long long size = QueryFileSize(file.get());
    if (!IsAliasFileSizeValid(size)) {
        LogPrintf(L"[AliasResolver::Load] AliasResolver: folderaliases.oxc size invalid (%lld)", size);
        return false;
    }
    // A short read leaves the rest of the buffer as zero bytes; the length stays the file size.
    std::vector<uint8_t> bytes(static_cast<size_t>(size), 0);
    DWORD read = 0;
    ReadFile(file.get(), bytes.data(), static_cast<DWORD>(size), &read, nullptr);
    file.reset();
    text = DecodeUtf8(bytes);
    return true;
}

bool ReadHostAliasText(std::wstring& text) {
    HMODULE host = FindHostModule();
    if (!host) {
        LogWrite(
            L"[AliasResolver::Load] AliasResolver: dopus.exe module not found (not in DOpus process?)\r\n");
        return false;
    }
    GetConfigPathFn getConfigPath = FindGetConfigPath(host);
    if (!getConfigPath) {
        LogWrite(L"[AliasResolver::Load] AliasResolver: GetConfigPathW not found in dopus.exe\r\n");
        return false;
    }
    wchar_t configPath[kConfigPathCapacityUnits + 1] = {};
    if (!getConfigPath(0, configPath, kConfigPathCapacityUnits)) {
        LogWrite(L"[AliasResolver::Load] AliasResolver: GetConfigPath failed\r\n");
        return false;
    }
    return ReadAliasFile(AliasFilePathFor(configPath), text);
}
