#include "viewer/start_failure.h"

namespace {

// Not in every SDK's headers.
constexpr DWORD kErrorVirusInfected = 225;
constexpr DWORD kErrorElevationRequired = 740;

struct FailureWords {
    DWORD error;
    const wchar_t* reason;
};

constexpr FailureWords kFailureWords[] = {
    {ERROR_FILE_NOT_FOUND, L"no file exists at this path"},
    {ERROR_PATH_NOT_FOUND, L"the folder of this path does not exist"},
    {ERROR_ACCESS_DENIED, L"access to it is denied"},
    {kErrorPathIsFolder, L"this path is a folder, not a program"},
    {ERROR_BAD_EXE_FORMAT, L"this file is not a Windows program"},
    {ERROR_BAD_FORMAT, L"this file is not a Windows program"},
    {ERROR_INVALID_EXE_SIGNATURE, L"this file is not a Windows program"},
    {ERROR_EXE_MACHINE_TYPE_MISMATCH, L"this program is not made for this processor"},
    {ERROR_BAD_PATHNAME, L"this is not a full path (a drive letter, \\\\server\\share or a known folder alias)"},
    {ERROR_INVALID_NAME, L"this is not a valid path"},
    {ERROR_FILENAME_EXCED_RANGE, L"this path is too long"},
    {ERROR_SHARING_VIOLATION, L"another program holds the file"},
    {kErrorElevationRequired, L"it asks for administrator rights, which a preview cannot give"},
    {ERROR_ACCESS_DISABLED_BY_POLICY, L"a system policy blocks it"},
    {kErrorVirusInfected, L"a virus scanner blocks it"},
    {ERROR_NOT_ENOUGH_MEMORY, L"there is not enough memory"},
};

}  // namespace

std::wstring StartFailureReason(DWORD error) {
    for (const FailureWords& words : kFailureWords) {
        if (words.error == error) return words.reason;
    }
    return L"Windows refused to start it (error " + std::to_wstring(error) + L")";
}

std::wstring StartFailureNote(const std::wstring& editorName, const std::wstring& editorPath, DWORD error,
                              const std::wstring& group) {
    const std::wstring who = editorName.empty() ? std::wstring(L"The editor") : editorName;
    const std::wstring where =
        group.empty() ? std::wstring(L"for this file") : L"for the group \"" + group + L"\"";
    return who + L" could not be started: " + StartFailureReason(error) + L"\n" + editorPath +
           L"\nChoose the editor " + where + L" in the plug-in's settings.";
}
