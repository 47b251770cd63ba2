#include "ui/mapping_fields.h"

bool IsWindowsPath(const std::wstring& text) {
    return text.empty() || text[0] == L'\\' || (text.size() >= 2 && text[1] == L':');
}

bool HasRowSeparator(const std::wstring& field) {
    return field.find_first_of(L"\t\r\n") != std::wstring::npos;
}
