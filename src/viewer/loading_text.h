#pragma once

#include <windows.h>

// Paints "Loading..." straight onto the viewer window with the one process-wide font.
void DrawLoadingText(HWND viewer);

// The same text on a device context the caller holds (the viewer's paint cycle).
void DrawLoadingTextOn(HDC dc, const RECT& client);

// Fills the viewer's client area with its background colour.
void PaintViewerBackground(HWND viewer, HDC dc);

// Clears the viewer's client area to its background colour (after a failed launch).
void ClearLoadingText(HWND viewer);

// The cached font, null until the first DrawLoadingText; kept for the life of the process.
HFONT LoadingFont();

// Deletes the cached font; called at process detach.
void DeleteLoadingFont();
