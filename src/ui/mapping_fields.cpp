#include "ui/mapping_fields.h"

#include "embed/command_line.h"

bool IsWindowsPath(const std::wstring& text) {
    return text.empty() || text[0] == L'\\' || (text.size() >= 2 && text[1] == L':');
}

bool HasRowSeparator(const std::wstring& field) {
    return field.find_first_of(L"\t\r\n") != std::wstring::npos;
}

std::vector<size_t> MissingEditorRows(const std::vector<GroupMapping>& rows, const ResolveFn& resolve,
                                      const FileExistsFn& fileExists) {
    std::vector<size_t> missing;
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::wstring path = resolve(rows[i].editorPath);
        if (!IsAbsolutePath(path) || !fileExists(path)) missing.push_back(i);
    }
    return missing;
}

std::wstring MissingEditorsQuestion(const std::vector<GroupMapping>& rows, const std::vector<size_t>& missing,
                                    const ResolveFn& resolve) {
    std::wstring text = L"These editors do not exist:\n\n";
    for (size_t row : missing) {
        const std::wstring path = resolve(rows[row].editorPath);
        text += L"  " + rows[row].group + L": " + (path.empty() ? rows[row].editorPath : path) + L"\n";
    }
    text += L"\nFiles of their groups cannot be shown until the editor is there. Save anyway?";
    return text;
}
