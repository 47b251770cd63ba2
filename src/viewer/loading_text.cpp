#include "viewer/loading_text.h"

// Filled in with file loading.
void DrawLoadingText(HWND) {}
void ClearLoadingText(HWND) {}
void DeleteLoadingFont() {}
