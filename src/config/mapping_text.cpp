#include "config/mapping_text.h"

#include "common/text.h"
#include "config/plugin_config.h"

namespace {

constexpr wchar_t kBlanks[] = L" \t\r\n";

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

bool IsLineBreakOrTab(wchar_t c) {
    return c == L'\t' || c == L'\r' || c == L'\n';
}

// The format has no escaping, so a TAB, CR or LF inside a field would split or shift the row on
// the next load; a blank keeps the row intact.
void AppendField(std::wstring& text, const std::wstring& field) {
    size_t start = text.size();
    text += field;
    for (size_t i = start; i < text.size(); ++i) {
        if (IsLineBreakOrTab(text[i])) text[i] = L' ';
    }
}

void ParseLine(const std::wstring& text, size_t begin, size_t end, std::vector<GroupMapping>& rows) {
    if (begin == end) return;
    size_t firstTab = text.find(L'\t', begin);
    if (firstTab >= end || firstTab + 1 == end) return;
    size_t secondTab = text.find(L'\t', firstTab + 1);
    if (secondTab >= end) return;
    GroupMapping row;
    row.group = Trim(text.substr(begin, firstTab - begin));
    row.exts = Trim(text.substr(firstTab + 1, secondTab - firstTab - 1));
    row.editorPath = Trim(text.substr(secondTab + 1, end - secondTab - 1));
    if (row.group.empty() || row.exts.empty() || row.editorPath.empty()) return;
    rows.push_back(std::move(row));
}

}  // namespace

std::wstring Trim(const std::wstring& text) {
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::wstring::npos) return std::wstring();
    size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// Trims and cuts within the list instead of copying each segment twice: this runs for every
// extension at every settings load.
std::vector<std::wstring> SplitExtensions(const std::wstring& exts) {
    std::vector<std::wstring> result;
    size_t position = 0;
    for (;;) {
        size_t separator = exts.find(L';', position);
        size_t end = separator == std::wstring::npos ? exts.size() : separator;
        size_t begin = position;
        while (begin < end && IsBlank(exts[begin])) ++begin;
        while (end > begin && IsBlank(exts[end - 1])) --end;
        // ". txt" is the key "txt": blanks after the dot are trimmed like those around it.
        if (begin < end && exts[begin] == L'.') ++begin;
        while (begin < end && IsBlank(exts[begin])) ++begin;
        if (begin < end) {
            result.push_back(LowerCased(std::wstring(exts, begin, end - begin)));
        }
        if (separator == std::wstring::npos) break;
        position = separator + 1;
    }
    return result;
}

std::wstring SerializeMappings(const std::vector<GroupMapping>& mappings) {
    std::wstring text;
    for (size_t i = 0; i < mappings.size(); ++i) {
        if (i > 0) text += L'\n';
        AppendField(text, mappings[i].group);
        text += L'\t';
        AppendField(text, mappings[i].exts);
        text += L'\t';
        AppendField(text, mappings[i].editorPath);
    }
    return text;
}

std::vector<GroupMapping> ParseMappings(const std::wstring& text) {
    std::vector<GroupMapping> rows;
    size_t position = 0;
    while (position < text.size()) {
        size_t lineFeed = text.find(L'\n', position);
        size_t end = lineFeed == std::wstring::npos ? text.size() : lineFeed;
        ParseLine(text, position, end, rows);
        if (lineFeed == std::wstring::npos) break;
        position = lineFeed + 1;
    }
    return rows;
}

LoadedMappingText TakeLoadedMappingText(const wchar_t* buffer, size_t capacity) {
    LoadedMappingText loaded;
    if (!buffer || capacity == 0) return loaded;
    size_t length = 0;
    while (length < capacity && buffer[length] != L'\0') ++length;
    loaded.text.assign(buffer, length);
    if (length + 1 < capacity) return loaded;
    size_t lastLineFeed = loaded.text.rfind(L'\n');
    size_t lineStart = lastLineFeed == std::wstring::npos ? 0 : lastLineFeed + 1;
    loaded.droppedLine = loaded.text.substr(lineStart);
    loaded.text.erase(lineStart);
    loaded.lineDropped = !loaded.droppedLine.empty();
    return loaded;
}
