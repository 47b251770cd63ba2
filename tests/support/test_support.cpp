#include "support/test_support.h"

#include <atomic>

namespace testing_support {

std::wstring ExeDir() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path);
    return text.substr(0, text.find_last_of(L"\\/"));
}

std::wstring BuildDir() {
    std::wstring dir = ExeDir();
    for (int i = 0; i < 2; ++i) dir = dir.substr(0, dir.find_last_of(L"\\/"));
    return dir;
}

std::wstring DllPath() {
    return BuildDir() + L"\\velloquin.dll";
}

std::wstring MakeTempDir(const std::wstring& tag) {
    static std::atomic<int> counter{0};
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    std::wstring root = std::wstring(base) + L"velloquin-tests";
    CreateDirectoryW(root.c_str(), nullptr);
    for (;;) {
        std::wstring dir = root + L"\\" + tag + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                           std::to_wstring(counter++) + L"-" + std::to_wstring(GetTickCount());
        if (CreateDirectoryW(dir.c_str(), nullptr)) return dir;
    }
}

void UseTempFolder(const std::wstring& folder) {
    std::wstring withSeparator = folder + L"\\";
    SetEnvironmentVariableW(L"TMP", withSeparator.c_str());
    SetEnvironmentVariableW(L"TEMP", withSeparator.c_str());
}

std::vector<uint8_t> ReadFileBytes(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const void* data, size_t size) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = size == 0 || WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return ok && written == size;
}

bool WriteFileText(const std::wstring& path, const std::string& utf8) {
    return WriteFileBytes(path, utf8.data(), utf8.size());
}

bool FileExists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void EnsureFiles(const std::vector<std::wstring>& paths) {
    for (const std::wstring& path : paths) {
        const std::wstring extended = L"\\\\?\\" + path;
        if (FileExists(extended)) continue;
        CreateDirectoryW(extended.substr(0, extended.rfind(L'\\')).c_str(), nullptr);
        WriteFileText(extended, Wide2Utf8(path));
    }
}

// Copies the window's client area into a bitmap of our own (one read instead of one per pixel).
int CountPixelsOtherThan(HWND window, COLORREF background) {
    RECT client;
    GetClientRect(window, &client);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = client.right;
    info.bmiHeader.biHeight = -client.bottom;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC windowDc = GetDC(window);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memoryDc, bitmap);
    BitBlt(memoryDc, 0, 0, client.right, client.bottom, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t expected =
        (GetRValue(background) << 16) | (GetGValue(background) << 8) | GetBValue(background);
    int count = 0;
    const auto* pixels = static_cast<const uint32_t*>(bits);
    for (int i = 0; i < client.right * client.bottom; ++i) {
        if ((pixels[i] & 0xFFFFFF) != expected) ++count;
    }
    SelectObject(memoryDc, previous);
    DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    return count;
}

std::vector<std::wstring> ReadLogEntries(const std::wstring& logPath) {
    std::vector<uint8_t> bytes = ReadFileBytes(logPath);
    std::wstring text(bytes.size() / 2, L'\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<wchar_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
    std::vector<std::wstring> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        std::wstring entry = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        // "[YYYY-MM-DD hh:mm:ss.mmm] " is 26 units.
        if (entry.size() >= 26 && entry[0] == L'[' && entry[24] == L']' && entry[25] == L' ') entry.erase(0, 26);
        // The line that names the version at the top of each file is not an entry of any caller.
        if (start != 0 || entry.compare(0, 22, L"[velloquin] velloquin ") != 0) entries.push_back(entry);
        if (end == std::wstring::npos) break;
        start = end + 2;
    }
    return entries;
}

bool LogHas(const std::vector<std::wstring>& entries, const std::wstring& line) {
    return FindLogEntry(entries, line) >= 0;
}

int CountLogEntriesStartingWith(const std::vector<std::wstring>& entries, const std::wstring& prefix) {
    int count = 0;
    for (const auto& entry : entries) count += entry.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
    return count;
}

int FindLogEntry(const std::vector<std::wstring>& entries, const std::wstring& line, int start) {
    for (size_t i = static_cast<size_t>(start < 0 ? 0 : start); i < entries.size(); ++i) {
        if (entries[i] == line) return static_cast<int>(i);
    }
    return -1;
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= timeoutMs) return condition();
        PumpMessages();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

std::wstring Narrow2Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::string Wide2Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

LoadedPlugin::LoadedPlugin() : module_(LoadLibraryW(DllPath().c_str())) {}

LoadedPlugin::~LoadedPlugin() {
    if (module_) FreeLibrary(module_);
}

}  // namespace testing_support
