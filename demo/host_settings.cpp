// The try-it host's configuration service: the two functions the plug-in looks up in dopus.exe.
// Settings live in a real file in the host's configuration folder, one "key=value" line each,
// UTF-16, with TAB, LF, CR and backslash escaped so the mapping text survives as it is.

#include "demo_host.h"

#include <cstring>
#include <map>
#include <string>

namespace {

std::wstring Escape(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\\') out += L"\\\\";
        else if (c == L'\t') out += L"\\t";
        else if (c == L'\n') out += L"\\n";
        else if (c == L'\r') out += L"\\r";
        else out += c;
    }
    return out;
}

std::wstring Unescape(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        wchar_t next = text[++i];
        out += next == L't' ? L'\t' : next == L'n' ? L'\n' : next == L'r' ? L'\r' : next;
    }
    return out;
}

std::map<std::wstring, std::wstring> ReadSection() {
    std::map<std::wstring, std::wstring> values;
    std::wstring text = ReadUtf16File(SettingsFilePath());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        std::wstring line = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        size_t equals = line.find(L'=');
        if (equals != std::wstring::npos) values[line.substr(0, equals)] = Unescape(line.substr(equals + 1));
        if (end == std::wstring::npos) break;
        start = end + 2;
    }
    return values;
}

void WriteSection(const std::map<std::wstring, std::wstring>& values) {
    std::wstring text;
    for (const auto& [key, value] : values) text += key + L"=" + Escape(value) + L"\r\n";
    WriteUtf16File(SettingsFilePath(), text);
}

template <typename T>
T ReadAt(const void* base, size_t offset) {
    T value;
    std::memcpy(&value, static_cast<const uint8_t*>(base) + offset, sizeof(T));
    return value;
}

}  // namespace

std::wstring ConfigFolder() {
    return ExeFolder() + L"\\config";
}

std::wstring SettingsFilePath() {
    return ConfigFolder() + L"\\velloquin.oxc";
}

void StoreSettings(const std::wstring& mappings, const std::wstring& editorParams, bool maximize, bool focus) {
    std::map<std::wstring, std::wstring> values = ReadSection();
    values[L"mappings"] = mappings;
    values[L"editorParams"] = editorParams;
    values[L"maximizeStandaloneViewer"] = maximize ? L"1" : L"0";
    values[L"focusEditorOnLoad"] = focus ? L"1" : L"0";
    WriteSection(values);
}

// The plug-in's record: a 32-byte header (size, section name, 0, entry count, entries) and
// 32-byte entries (key, type 4 text / 0 integer, value pointer, size in bytes).
extern "C" __declspec(dllexport) int WINAPI LoadOrSaveConfigW(int mode, void* header) {
    if (!header) return 0;
    uint32_t count = ReadAt<uint32_t>(header, 20);
    const uint8_t* entries = ReadAt<const uint8_t*>(header, 24);
    if (!entries || count > 64) return 0;
    std::map<std::wstring, std::wstring> values = ReadSection();
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* entry = entries + 32 * i;
        const wchar_t* key = ReadAt<const wchar_t*>(entry, 0);
        uint32_t type = ReadAt<uint32_t>(entry, 8);
        void* value = ReadAt<void*>(entry, 16);
        uint32_t size = ReadAt<uint32_t>(entry, 24);
        if (!key || !value) continue;
        auto found = values.find(key);
        if (mode == 0) {
            if (found == values.end()) continue;
            if (type == 4 && size >= 2) {
                size_t units = size / 2 - 1;
                size_t copy = found->second.size() < units ? found->second.size() : units;
                std::memcpy(value, found->second.data(), copy * 2);
                static_cast<wchar_t*>(value)[copy] = L'\0';
            } else if (type == 0 && size >= 4) {
                int32_t number = _wtoi(found->second.c_str());
                std::memcpy(value, &number, 4);
            }
        } else {
            if (type == 4) values[key] = static_cast<const wchar_t*>(value);
            else values[key] = std::to_wstring(*static_cast<const int32_t*>(value));
        }
    }
    if (mode == 1) WriteSection(values);
    return 1;
}

// Answers the configuration folder with a trailing separator, so the folder-alias file is looked
// for inside it.
extern "C" __declspec(dllexport) int WINAPI GetConfigPathW(int kind, wchar_t* buffer, int capacity) {
    if (kind != 0 || !buffer || capacity <= 0) return 0;
    std::wstring folder = ConfigFolder() + L"\\";
    if (folder.size() + 1 > static_cast<size_t>(capacity)) return 0;
    std::memcpy(buffer, folder.c_str(), (folder.size() + 1) * 2);
    return 1;
}

// Settings to start with: Wine's Notepad for Markdown, the stand-in editors (reached through the
// folder alias /standins) for code and build files.
void StoreStarterSettings(const std::wstring& standinFolder) {
    CreateDirectoryW(ConfigFolder().c_str(), nullptr);
    std::wstring mappings = L"notes\tmd\t%SystemRoot%\\notepad.exe\n"
                            L"code\tcpp;h\t/standins\\notepad4.exe\n"
                            L"build\ttxt;cmake\t/standins\\notepad++.exe";
    StoreSettings(mappings, L"", false, true);
    std::wstring aliases = L"<?xml version=\"1.0\"?>\r\n<folderaliases>\r\n  <path label=\"standins\"><pathstring>" +
                           standinFolder + L"</pathstring></path>\r\n</folderaliases>\r\n";
    int n = WideCharToMultiByte(CP_UTF8, 0, aliases.c_str(), static_cast<int>(aliases.size()), nullptr, 0, nullptr,
                                nullptr);
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, aliases.c_str(), static_cast<int>(aliases.size()), &utf8[0], n, nullptr, nullptr);
    std::wstring path = ConfigFolder() + L"\\folderaliases.oxc";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
}
