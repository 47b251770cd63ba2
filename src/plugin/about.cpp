// DVP_About: the fixed About text followed by where the host keeps the settings.
// This file is UTF-8; the compiler is told so (MSVC /utf-8, GCC -finput-charset=UTF-8).

#include "common/version.h"
#include "config/config_refresh.h"
#include "plugin/exports.h"

namespace {

constexpr wchar_t kAboutText[] =
    L"velloquin " VELLOQUIN_VERSION_WIDE L"\r\nDirectory Opus 文本文件预览插件\r\n\r\n"
    L"调用 notepad3 / notepad4 / notepad++ / EverEdit / EmEditor 等编辑器预览文本文件，"
    L"并将编辑器窗口嵌入预览窗格，可直接编辑和保存。\r\n\r\n配置文件: ";

}  // namespace

LRESULT WINAPI DVP_About(HWND parent) noexcept {
    try {
        std::wstring text = kAboutText + CurrentConfigPath();
        MessageBoxW(parent, text.c_str(), L"About velloquin", MB_OK | MB_ICONINFORMATION);
    } catch (...) {
    }
    return 0;
}
