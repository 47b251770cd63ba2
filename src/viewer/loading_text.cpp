#include "viewer/loading_text.h"

#include <algorithm>
#include <atomic>

#include "common/handles.h"
#include "embed/editor_holder.h"

namespace {

constexpr COLORREF kLoadingTextColor = RGB(128, 128, 128);
constexpr UINT kLoadingTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
// A long path is shortened in its middle rather than cut at the edge.
constexpr UINT kPaneNoteFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS;
constexpr int kPaneNoteLineGap = 4;

std::atomic<HFONT> loadingFont{nullptr};

HFONT CreateLoadingFont() {
    return CreateFontW(20, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY,
                       0, L"Segoe UI");
}

// Viewers on several host threads may draw at once: the first font stored wins, others are freed.
HFONT SharedLoadingFont() {
    HFONT font = loadingFont.load();
    if (font) return font;
    HFONT created = CreateLoadingFont();
    if (!created) return nullptr;
    if (loadingFont.compare_exchange_strong(font, created)) return created;
    DeleteObject(created);
    return font;
}

HBRUSH BackgroundBrush(HWND viewer) {
    auto brush = reinterpret_cast<HBRUSH>(GetClassLongPtrW(viewer, GCLP_HBRBACKGROUND));
    return brush ? brush : GetSysColorBrush(COLOR_WINDOW);
}

}  // namespace

void DrawLoadingTextOn(HDC dc, const RECT& client) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kLoadingTextColor);
    ScopedSelectObject selected(dc, SharedLoadingFont());
    RECT area = client;
    DrawTextW(dc, L"Loading...", -1, &area, kLoadingTextFormat);
}

void DrawLoadingText(HWND viewer) {
    ScopedWindowDC dc(EmbeddingParentOf(viewer));
    if (!dc) return;
    RECT client{};
    GetClientRect(viewer, &client);
    DrawLoadingTextOn(dc.get(), client);
}

// Each line of the note on its own, centred, the block centred vertically: a path keeps a line of
// its own and is shortened in its middle when the pane is narrow.
void DrawPaneNoteOn(HDC dc, const RECT& client, const std::wstring& note) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    ScopedSelectObject selected(dc, GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int lineHeight = metrics.tmHeight + metrics.tmExternalLeading + kPaneNoteLineGap;
    const int lines = 1 + static_cast<int>(std::count(note.begin(), note.end(), L'\n'));
    RECT area = client;
    area.top = client.top + (client.bottom - client.top - lines * lineHeight) / 2;
    size_t start = 0;
    for (int line = 0; line < lines; ++line) {
        size_t end = note.find(L'\n', start);
        if (end == std::wstring::npos) end = note.size();
        area.bottom = area.top + lineHeight;
        DrawTextW(dc, note.c_str() + start, static_cast<int>(end - start), &area, kPaneNoteFormat);
        area.top = area.bottom;
        start = end + 1;
    }
}

void DrawPaneNote(HWND viewer, const std::wstring& note) {
    ScopedWindowDC dc(EmbeddingParentOf(viewer));
    if (!dc) return;
    RECT client{};
    GetClientRect(viewer, &client);
    PaintViewerBackground(viewer, dc.get());
    DrawPaneNoteOn(dc.get(), client, note);
}

void PaintViewerBackground(HWND viewer, HDC dc) {
    RECT client{};
    GetClientRect(viewer, &client);
    FillRect(dc, &client, BackgroundBrush(viewer));
}

void ClearLoadingText(HWND viewer) {
    ScopedWindowDC dc(EmbeddingParentOf(viewer));
    if (dc) PaintViewerBackground(viewer, dc.get());
}

HFONT LoadingFont() {
    return loadingFont.load();
}

void DeleteLoadingFont() {
    HFONT font = loadingFont.exchange(nullptr);
    if (font) DeleteObject(font);
}
