#include "editor_settings/put_back.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "common/handles.h"
#include "common/text.h"
#include "editor_settings/ini_text.h"
#include "editor_settings/private_copy.h"
#include "editor_settings/settings_places.h"
#include "log/log.h"

namespace {

// Another put-back of the same ini (or a read before a launch) takes a few milliseconds.
constexpr DWORD kPutBackTurnMs = 2000;
constexpr wchar_t kRecordPattern[] = L"recent-files-*.owed";
constexpr wchar_t kMaximizedKey[] = L"WindowMaximized";

// One turn per ini at a time, in every process that loads the plug-in.
class IniTurn {
public:
    explicit IniTurn(const std::wstring& iniPath, DWORD waitMs = kPutBackTurnMs)
        : mutex_(CreateMutexW(nullptr, FALSE, (L"Local\\velloquin-recent-files-" + ShortNameOf(iniPath)).c_str())) {
        const DWORD result = mutex_ ? WaitForSingleObject(mutex_.get(), waitMs) : WAIT_FAILED;
        owned_ = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
    IniTurn(const IniTurn&) = delete;
    IniTurn& operator=(const IniTurn&) = delete;
    ~IniTurn() {
        if (owned_) ReleaseMutex(mutex_.get());
    }
    bool owned() const { return owned_; }

private:
    UniqueHandle mutex_;
    bool owned_ = false;
};

std::wstring RecordText(const OwedPutBack& owed) {
    std::wstring text = L"\xFEFF";
    const auto line = [&text](const wchar_t* key, const std::wstring& value) {
        text += key;
        text += L'=';
        text += value;
        text += L"\r\n";
    };
    line(L"ini", owed.iniPath);
    line(L"exe", owed.folders.exeFolder);
    line(L"documents", owed.folders.documents);
    line(L"process", std::to_wstring(owed.processId) + L" " + std::to_wstring(owed.startTime));
    if (owed.maximized) line(L"maximized", L"1");
    for (const std::wstring& entry : owed.before) line(L"before", entry);
    for (const std::wstring& file : owed.shownFiles) line(L"shown", file);
    return text;
}

// Written beside and moved over, so that a reader never meets half a record.
bool WriteRecord(const OwedPutBack& owed) {
    const std::wstring text = RecordText(owed);
    const std::wstring fresh = owed.recordPath + L".new";
    {
        UniqueHandle file(CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        if (!file || !WriteFile(file.get(), text.data(), bytes, &written, nullptr) || written != bytes)
            return false;
    }
    return MoveFileExW(fresh.c_str(), owed.recordPath.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool ReadRecord(const std::wstring& recordPath, OwedPutBack& owed) {
    const std::wstring text = ReadTextFile(recordPath);
    owed = OwedPutBack();
    owed.recordPath = recordPath;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == L'\r') line.pop_back();
        const size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) continue;
        const std::wstring key = line.substr(0, equals);
        const std::wstring value = line.substr(equals + 1);
        if (key == L"ini") owed.iniPath = value;
        else if (key == L"exe") owed.folders.exeFolder = value;
        else if (key == L"documents") owed.folders.documents = value;
        else if (key == L"maximized") owed.maximized = value == L"1";
        else if (key == L"before") owed.before.push_back(value);
        else if (key == L"shown") owed.shownFiles.push_back(value);
        else if (key == L"process") {
            owed.processId = wcstoul(value.c_str(), nullptr, 10);
            const size_t space = value.find(L' ');
            if (space != std::wstring::npos) owed.startTime = _wcstoui64(value.c_str() + space + 1, nullptr, 10);
        }
    }
    return !owed.iniPath.empty() && owed.processId != 0;
}

ULONGLONG StartTimeOf(HANDLE process) {
    FILETIME created = {}, exited = {}, kernel = {}, user = {};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
    return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// A process that cannot be opened, or another one under its id, has ended.
bool HasEnded(const OwedPutBack& owed) {
    UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, owed.processId));
    if (!process || StartTimeOf(process.get()) != owed.startTime) return true;
    return WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
}

std::vector<std::wstring> RecordPaths() {
    std::vector<std::wstring> paths;
    const std::wstring root = PrivateSettingsRoot();
    if (root.empty()) return paths;
    WIN32_FIND_DATAW found = {};
    HANDLE search = FindFirstFileW(JoinedPath(root, kRecordPattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return paths;
    do {
        paths.push_back(JoinedPath(root, found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return paths;
}

// Read only now: following a path's parts takes a while, and a hand-off should not wait for it.
RecentList ShownKeys(const OwedPutBack& owed) {
    RecentList keys;
    for (const std::wstring& file : owed.shownFiles) keys.push_back(RecentEntryKey(file, RecentEntryFolders()));
    return keys;
}

// One line added: cheaper than the whole record, for a hand-off. A line cut by the end of the host
// names no file.
void AppendShownLine(const OwedPutBack& owed, const std::wstring& file) {
    UniqueHandle record(CreateFileW(owed.recordPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const std::wstring line = L"shown=" + file + L"\r\n";
    DWORD written = 0;
    if (record)
        WriteFile(record.get(), line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
}

void PutBackMaximized(const OwedPutBack& owed) {
    const std::wstring section = Notepad4PositionSection();
    if (!owed.maximized ||
        GetPrivateProfileIntW(section.c_str(), kMaximizedKey, 0, owed.iniPath.c_str()) != 0)
        return;
    if (WritePrivateProfileStringW(section.c_str(), kMaximizedKey, L"1", owed.iniPath.c_str()))
        LogPrintf(L"[RestoreRecentFiles] pid=%lu [%ls]: its window is maximized again, as the user had it",
                  owed.processId, owed.iniPath.c_str());
}

void PutBackListOf(const OwedPutBack& owed) {
    const RecentList now = ReadRecentFiles(owed.iniPath);
    const PutBackList putBack = PutBackRecentList(now, owed.before, ShownKeys(owed), owed.folders);
    const bool written = putBack.list != now && WriteRecentFiles(owed.iniPath, putBack.list);
    if (putBack.unreadable > 0)
        LogPrintf(
            L"[RestoreRecentFiles] pid=%lu [%ls]: %zu entries it added name no file it could have shown (a name "
            L"outside the ini's code page): left in its recent files",
            owed.processId, owed.iniPath.c_str(), putBack.unreadable);
    if (written)
        LogPrintf(
            L"[RestoreRecentFiles] pid=%lu [%ls]: %zu shown files taken out of its recent files, the list "
            L"put back",
            owed.processId, owed.iniPath.c_str(), putBack.takenOut);
    else if (putBack.unreadable == 0)
        LogPrintf(L"[RestoreRecentFiles] pid=%lu [%ls]: its recent files are as they were", owed.processId,
                  owed.iniPath.c_str());
}

void PutBackNow(const OwedPutBack& owed) {
    if (GetFileAttributesW(owed.iniPath.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    PutBackMaximized(owed);
    PutBackListOf(owed);
}

// Within the ini's turn: the record is read again, as another process may have done it meanwhile.
bool CompleteInTurn(const std::wstring& recordPath) {
    OwedPutBack owed;
    if (GetFileAttributesW(recordPath.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
    if (!ReadRecord(recordPath, owed)) {
        DeleteFileW(recordPath.c_str());
        return true;
    }
    if (!HasEnded(owed)) return false;
    PutBackNow(owed);
    DeleteFileW(recordPath.c_str());
    return true;
}

// The ini's list as the user has it: without what the editors of other previews still running added
// (a Notepad4 started now reads their entries too, so their shown files count as its own).
RecentList UsersListNow(OwedPutBack& owed) {
    RecentList list = ReadRecentFiles(owed.iniPath);
    for (const std::wstring& recordPath : RecordPaths()) {
        OwedPutBack other;
        if (LowerCased(recordPath) == LowerCased(owed.recordPath) || !ReadRecord(recordPath, other) ||
            LowerCased(other.iniPath) != LowerCased(owed.iniPath))
            continue;
        list = PutBackRecentList(list, other.before, ShownKeys(other), owed.folders).list;
        for (const std::wstring& file : other.shownFiles) {
            if (std::find(owed.shownFiles.begin(), owed.shownFiles.end(), file) == owed.shownFiles.end())
                owed.shownFiles.push_back(file);
        }
    }
    return list;
}

bool EnsureFolderOf(const std::wstring& path) {
    const std::wstring folder = FolderOf(path);
    return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace

OwedPutBack PreparePutBack(const std::wstring& iniPath, const std::wstring& exeFolder) {
    CompleteOwedPutBacks(iniPath);
    OwedPutBack owed;
    owed.iniPath = iniPath;
    owed.folders.exeFolder = exeFolder;
    owed.folders.documents = ThisUsersFolders().documents;
    owed.before = UsersListNow(owed);
    const std::wstring section = Notepad4PositionSection();
    owed.maximized = GetPrivateProfileIntW(section.c_str(), kMaximizedKey, 0, iniPath.c_str()) != 0;
    const wchar_t* keys[4] = {L"WindowPosX", L"WindowPosY", L"WindowSizeX", L"WindowSizeY"};
    int values[4] = {};
    for (int i = 0; i < 4; ++i)
        values[i] = static_cast<int>(GetPrivateProfileIntW(section.c_str(), keys[i], 0, iniPath.c_str()));
    owed.normal = {values[0], values[1], values[0] + values[2], values[1] + values[3]};
    return owed;
}

bool OwePutBack(OwedPutBack& owed, HANDLE process, DWORD processId) {
    owed.processId = processId;
    owed.startTime = StartTimeOf(process);
    const std::wstring root = PrivateSettingsRoot();
    if (root.empty()) return false;
    wchar_t name[64] = {};
    wsprintfW(name, L"recent-files-%lu-%I64x.owed", processId, owed.startTime);
    owed.recordPath = JoinedPath(root, name);
    if (EnsureFolderOf(owed.recordPath) && WriteRecord(owed)) return true;
    // Then it is owed only as long as this process follows the editor.
    owed.recordPath.clear();
    return false;
}

void NoteShownInPutBack(OwedPutBack& owed, const std::wstring& file) {
    if (owed.iniPath.empty() || file.empty()) return;
    const std::wstring lower = LowerCased(file);
    if (std::find(owed.shownFiles.begin(), owed.shownFiles.end(), lower) != owed.shownFiles.end()) return;
    owed.shownFiles.push_back(lower);
    if (!owed.recordPath.empty()) AppendShownLine(owed, lower);
}

void NoteListBeforeSave(OwedPutBack& owed) {
    if (owed.iniPath.empty()) return;
    IniTurn turn(owed.iniPath);
    owed.before = UsersListNow(owed);
    if (!owed.recordPath.empty()) WriteRecord(owed);
}

bool CompletePutBack(const OwedPutBack& owed) {
    if (owed.iniPath.empty()) return true;
    IniTurn turn(owed.iniPath);
    if (!turn.owned()) return false;
    if (!owed.recordPath.empty()) return CompleteInTurn(owed.recordPath);
    if (!HasEnded(owed)) return false;
    PutBackNow(owed);
    return true;
}

void CompleteOwedPutBacks(const std::wstring& iniPath, bool waitForTurn) {
    for (const std::wstring& recordPath : RecordPaths()) {
        OwedPutBack owed;
        if (!ReadRecord(recordPath, owed)) {
            DeleteFileW(recordPath.c_str());
            continue;
        }
        if (!iniPath.empty() && LowerCased(owed.iniPath) != LowerCased(iniPath)) continue;
        IniTurn turn(owed.iniPath, waitForTurn ? kPutBackTurnMs : 0);
        if (turn.owned()) CompleteInTurn(recordPath);
    }
}

void CompleteOwedPutBacksOfEarlierLoads() {
    static std::atomic<bool> done{false};
    if (!done.exchange(true)) CompleteOwedPutBacks(std::wstring(), false);
}
