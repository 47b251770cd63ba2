#pragma once

#include <windows.h>

#include <string>

// Paints "Loading..." straight onto the viewer window with the one process-wide font.
void DrawLoadingText(HWND viewer);

// The same text on a device context the caller holds (the viewer's paint cycle).
void DrawLoadingTextOn(HDC dc, const RECT& client);

// One line that tells why no editor is shown, in the system's font and colours, on the
// viewer's device context (now) or on the caller's (the viewer's paint cycle).
void DrawPaneNote(HWND viewer, const std::wstring& note);
void DrawPaneNoteOn(HDC dc, const RECT& client, const std::wstring& note);

// Fills the viewer's client area with its background colour.
void PaintViewerBackground(HWND viewer, HDC dc);

// Clears the viewer's client area to its background colour (after a failed launch).
void ClearLoadingText(HWND viewer);

// The cached font, null until the first DrawLoadingText; kept for the life of the process.
HFONT LoadingFont();

// Deletes the cached font; called at process detach.
void DeleteLoadingFont();
