#include "embed/window_rules.h"

namespace {

constexpr uint32_t kPopupStyle = 0x80000000;    // WS_POPUP
constexpr uint32_t kSysMenuStyle = 0x00080000;  // WS_SYSMENU
constexpr uint32_t kToolWindowExStyle = 0x80;   // WS_EX_TOOLWINDOW
constexpr int kMinimumMainWindowSide = 200;

}  // namespace

bool IsExcludedClass(const std::wstring& className) {
    for (const wchar_t* part : {L"tooltips", L"#32768", L"IME", L"MSCTFIME"}) {
        if (className.find(part) != std::wstring::npos) return true;
    }
    return false;
}

bool PassesFirstTopWindowRule(const WindowTraits& window) {
    if (IsExcludedClass(window.className)) return false;
    if (window.titleEmpty && (window.style & kPopupStyle)) return false;
    if ((window.style & kCaptionBits) && !(window.style & kSysMenuStyle)) return false;
    return !(window.exStyle & kToolWindowExStyle);
}

bool PassesLargestTopWindowRule(const WindowTraits& window) {
    bool hiddenWithCaption = (window.style & kCaptionBits) == kCaptionBits;
    if (!window.visible && !hiddenWithCaption) return false;
    if (IsExcludedClass(window.className)) return false;
    if (window.exStyle & kToolWindowExStyle) return false;
    return window.width >= kMinimumMainWindowSide && window.height >= kMinimumMainWindowSide;
}

bool HasCaptionBit(uint32_t style) {
    return (style & kCaptionBits) != 0;
}
