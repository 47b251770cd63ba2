#include "paths/alias_resolver.h"

#include <windows.h>

#include "log/log.h"
#include "paths/alias_file.h"
#include "paths/alias_scan.h"
#include "paths/path_resolution.h"

namespace {

// The table is read by every settings refresh and filled once, by a load that runs without the
// settings lock (it asks the host and reads a file); this lock covers the table itself.
SRWLOCK aliasLock = SRWLOCK_INIT;
AliasTable aliases;

class AliasLock {
   public:
    explicit AliasLock(bool exclusive) : exclusive_(exclusive) {
        if (exclusive_)
            AcquireSRWLockExclusive(&aliasLock);
        else
            AcquireSRWLockShared(&aliasLock);
    }
    ~AliasLock() {
        if (exclusive_)
            ReleaseSRWLockExclusive(&aliasLock);
        else
            ReleaseSRWLockShared(&aliasLock);
    }
    AliasLock(const AliasLock&) = delete;
    AliasLock& operator=(const AliasLock&) = delete;

   private:
    bool exclusive_;
};

// Entries are never removed, so the pointer stays valid after the lock is left.
const std::wstring* FindAlias(const std::wstring& lowerCaseName) {
    AliasLock lock(false);
    auto found = aliases.find(lowerCaseName);
    return found == aliases.end() ? nullptr : &found->second;
}

PathLookups SystemLookups() {
    return PathLookups{ExpandEnvVars, GetHostHomeFolder, FindAlias};
}

unsigned long AliasCount() {
    AliasLock lock(false);
    return static_cast<unsigned long>(aliases.size());
}

void LoadAliasFile();

// One load per process. A caller that comes while another thread loads waits for it, so that no
// index is built from a table that is still being read.
INIT_ONCE aliasLoadOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK LoadAliasFileOnce(PINIT_ONCE, PVOID loadedHere, PVOID*) noexcept {
    try {
        LoadAliasFile();
    } catch (...) {
    }
    *static_cast<bool*>(loadedHere) = true;
    return TRUE;
}

bool readFailed = false;

void LoadAliasFile() {
    std::wstring text;
    if (!ReadHostAliasText(text)) {
        readFailed = true;
        return;
    }
    AliasResolver::ParseXml(text);
    LogPrintf(L"[AliasResolver::Load] AliasResolver: loaded %lu aliases", AliasCount());
}

}  // namespace

unsigned long AliasResolver::Load() {
    bool loadedHere = false;
    InitOnceExecuteOnce(&aliasLoadOnce, LoadAliasFileOnce, &loadedHere, nullptr);
    return loadedHere && readFailed ? 0 : AliasCount();
}

void AliasResolver::ParseXml(const std::wstring& text) {
    AliasLock lock(true);
    ScanAliasEntries(text, aliases, [](const std::wstring& label, const std::wstring& folder) {
        LogPrintf(L"[AliasResolver::ParseXml]   alias: /%ls -> %ls", label.c_str(), folder.c_str());
    });
}

namespace {

// The resolution stopped: the path is unusable, and a load that needs it fails for want of an editor.
std::wstring ReportTooLong(const std::wstring& path) {
    LogPrintf(L"[AliasResolver::ResolvePath] AliasResolver: path passes %zu units, resolution stopped: [%ls]",
              kMaxResolvedPathUnits, path.c_str());
    return std::wstring();
}

}  // namespace

std::wstring AliasResolver::ResolvePath(const std::wstring& path) {
    bool tooLong = false;
    std::wstring resolved = ResolveAliasPrefix(path, SystemLookups(), &tooLong);
    return tooLong ? ReportTooLong(path) : resolved;
}

std::wstring ResolveEditorPath(const std::wstring& typedPath) {
    bool tooLong = false;
    std::wstring resolved = ResolveEditorPathWith(typedPath, SystemLookups(), &tooLong);
    return tooLong ? ReportTooLong(typedPath) : resolved;
}
