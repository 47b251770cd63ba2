#pragma once
// The recent-files list of an editor that offers no switch for another settings file (Notepad4):
// read before the editor starts, and once it has ended the files the viewer showed in it are taken
// out again, so that the list is the user's own.

#include <string>
#include <vector>

struct RecentFilesGuard {
    std::wstring iniPath;               // empty: nothing to put back
    std::wstring exeFolder;             // relative entries are taken from here, as the editor does
    std::vector<std::wstring> entries;  // the list as it was before the editor started, newest first
};

// The [Recent Files] section of iniPath as it is now (entries "01=...", "02=...", newest first).
RecentFilesGuard SnapshotRecentFiles(const std::wstring& iniPath, const std::wstring& exeFolder);

// Called once the editor has ended: each entry that was not in the list before and names one of the
// shown files is taken out; when what is left holds only entries of the list before, that list is
// written back as it was (the previews also moved the user's own entries), else what is left, with
// the entries of the list before that were pushed out added at its end. The file is written only
// when that differs from what the editor saved.
struct RecentFilesRestore {
    bool written = false;
    size_t takenOut = 0;  // entries the previews had added
};
RecentFilesRestore RestoreRecentFiles(const RecentFilesGuard& guard,
                                      const std::vector<std::wstring>& shownFiles);

// The list to write back: now without the entries marked in shownAndNew, then as above. Pure.
std::vector<std::wstring> RestoredRecentList(const std::vector<std::wstring>& before,
                                             const std::vector<std::wstring>& now,
                                             const std::vector<bool>& shownAndNew);
