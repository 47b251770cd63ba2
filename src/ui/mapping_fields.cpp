#include "ui/mapping_fields.h"

bool IsWindowsPath(const std::wstring& text) {
    return text.empty() || text[0] == L'\\' || (text.size() >= 2 && text[1] == L':');
}

bool HasRowSeparator(const std::wstring& field) {
    return field.find_first_of(L"\t\r\n") != std::wstring::npos;
}

// Fields joined by TAB, rows by LF, as the stored text is written.
size_t MappingTextLength(const std::vector<GroupMapping>& rows) {
    if (rows.empty()) return 0;
    size_t length = rows.size() - 1;
    for (const GroupMapping& row : rows) length += row.group.size() + 1 + row.exts.size() + 1 + row.editorPath.size();
    return length;
}
