#include <windows.h>

#include <new>

#include "common/handles.h"
#include "viewer/handoff_image.h"

namespace {

// Editors are a few megabytes; a larger file is not read whole.
constexpr DWORD kMaxEditorImageBytes = 64u * 1024u * 1024u;

bool ReadWholeFile(HANDLE file, std::vector<uint8_t>& bytes) {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart <= 0 || size.QuadPart > kMaxEditorImageBytes)
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return false;
    bytes.resize(read);
    return true;
}

}  // namespace

EditorImage ReadEditorImage(const std::wstring& path) {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::vector<uint8_t> bytes;
    try {
        if (!file || !ReadWholeFile(file.get(), bytes)) return EditorImage{};
        return ParseEditorImage(bytes);
    } catch (const std::bad_alloc&) {
        return EditorImage{};
    }
}
