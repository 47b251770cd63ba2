#include "embed/launch.h"

// Temporary, so that file loading links before the launch lands; removed when it does.
bool LaunchAndEmbed(HWND, ViewerState&, const std::wstring&, const std::wstring&) { return false; }
bool LaunchAndEmbedGeneric(HWND, ViewerState&) { return false; }
