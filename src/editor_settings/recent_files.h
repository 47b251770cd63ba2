#pragma once
// The recent-files list of an editor that offers no switch for another settings file (Notepad4):
// once an editor started for a preview has ended, the files it showed are taken out of the list
// again, so that the list is the user's own. Notepad4 writes its entries relative to its own folder,
// to Documents or to the environment (%USERPROFILE%\...) and reads them back the same way; the
// comparisons here read them as it does.

#include <string>
#include <vector>

using RecentList = std::vector<std::wstring>;

// What an entry is read back from.
struct RecentEntryFolders {
    std::wstring exeFolder;  // relative entries
    std::wstring documents;  // %CSIDL:MYDOCUMENTS%
};

// Notepad4 keeps at least this many entries and drops the oldest beyond its capacity.
constexpr size_t kNotepad4RecentCapacity = 32;

// The file an entry (or a shown path) names, in one form: full, long, lower-cased.
std::wstring RecentEntryKey(const std::wstring& entry, const RecentEntryFolders& folders);

// The list to write back, from the list as it is now and the user's list as it was just before the
// editor saved (before): entries that name a shown file (shownKeys, from RecentEntryKey) and were not
// in before go; entries that are in neither stay on top in their order (files another editor or
// the user added meanwhile); then the user's own in the user's order and forms, those the editor
// pushed out of a full list among them. An entry a code page turned into '?' names a shown file
// when the rest matches. Pure but for the reading of entries.
struct PutBackList {
    RecentList list;
    size_t takenOut = 0;   // entries the previews had added
    size_t unreadable = 0;  // added entries with '?' that match no shown file: left in
};
PutBackList PutBackRecentList(const RecentList& now, const RecentList& before, const RecentList& shownKeys,
                              const RecentEntryFolders& folders);

// The [Recent Files] section of ini ("01=...", newest first); writing replaces the section.
RecentList ReadRecentFiles(const std::wstring& iniPath);
bool WriteRecentFiles(const std::wstring& iniPath, const RecentList& entries);

// [Window Position WxH] of the primary screen, where Notepad4 keeps its placement.
std::wstring Notepad4PositionSection();
