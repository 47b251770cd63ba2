#include "config/config_path.h"

std::wstring ConfigPathInFolder(const std::wstring& folder) {
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    return path + kConfigFileName;
}
