#include "editor_settings/ini_text.h"

#include <windows.h>

#include <vector>

#include "common/handles.h"
#include "common/text.h"

namespace {

// Settings files are small; anything beyond this is not one.
constexpr DWORD kMaxSettingsFileBytes = 4u << 20;

std::wstring Trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t\r");
    if (first == std::wstring::npos) return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t\r") - first + 1);
}

std::wstring FromUtf8(const char* bytes, int length) {
    if (length <= 0) return std::wstring();
    const int units = MultiByteToWideChar(CP_UTF8, 0, bytes, length, nullptr, 0);
    std::wstring text(static_cast<size_t>(units), L'\0');
    if (units > 0) MultiByteToWideChar(CP_UTF8, 0, bytes, length, &text[0], units);
    return text;
}

}  // namespace

std::wstring ReadTextFile(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::wstring();
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > kMaxSettingsFileBytes) return std::wstring();
    std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty() &&
        !ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr))
        return std::wstring();
    const int length = static_cast<int>(read);
    if (length >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
        return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data() + 2),
                            static_cast<size_t>(length - 2) / 2);
    if (length >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        return FromUtf8(bytes.data() + 3, length - 3);
    return FromUtf8(bytes.data(), length);
}

std::wstring IniValue(const std::wstring& iniText, const std::wstring& section, const std::wstring& key) {
    const std::wstring wantedSection = LowerCased(section);
    const std::wstring wantedKey = LowerCased(key);
    bool inSection = false;
    size_t start = 0;
    while (start <= iniText.size()) {
        size_t end = iniText.find(L'\n', start);
        if (end == std::wstring::npos) end = iniText.size();
        const std::wstring line = Trimmed(iniText.substr(start, end - start));
        start = end + 1;
        if (!line.empty() && line[0] == L'[') {
            const size_t close = line.find(L']');
            inSection = close != std::wstring::npos &&
                        LowerCased(Trimmed(line.substr(1, close - 1))) == wantedSection;
            continue;
        }
        const size_t equals = line.find(L'=');
        if (!inSection || equals == std::wstring::npos || line[0] == L';') continue;
        if (LowerCased(Trimmed(line.substr(0, equals))) == wantedKey) return Trimmed(line.substr(equals + 1));
    }
    return std::wstring();
}
