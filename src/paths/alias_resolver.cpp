#include "paths/alias_resolver.h"

#include "log/log.h"
#include "paths/alias_file.h"
#include "paths/alias_scan.h"
#include "paths/path_resolution.h"

namespace {

AliasTable aliases;
bool aliasesLoaded = false;

const std::wstring* FindAlias(const std::wstring& lowerCaseName) {
    auto found = aliases.find(lowerCaseName);
    return found == aliases.end() ? nullptr : &found->second;
}

PathLookups SystemLookups() {
    return PathLookups{ExpandEnvVars, GetHostHomeFolder, FindAlias};
}

}  // namespace

unsigned long AliasResolver::Load() {
    if (aliasesLoaded) return static_cast<unsigned long>(aliases.size());
    // Set first: whatever happens below, the file is not tried again in this process.
    aliasesLoaded = true;
    std::wstring text;
    if (!ReadHostAliasText(text)) return 0;
    ParseXml(text);
    LogPrintf(L"[AliasResolver::Load] AliasResolver: loaded %zu aliases", aliases.size());
    return static_cast<unsigned long>(aliases.size());
}

void AliasResolver::ParseXml(const std::wstring& text) {
    ScanAliasEntries(text, aliases, [](const std::wstring& label, const std::wstring& folder) {
        LogPrintf(L"[AliasResolver::ParseXml]   alias: /%ls -> %ls", label.c_str(), folder.c_str());
    });
}

std::wstring AliasResolver::ResolvePath(const std::wstring& path) {
    return ResolveAliasPrefix(path, SystemLookups());
}

std::wstring ResolveEditorPath(const std::wstring& typedPath) {
    return ResolveEditorPathWith(typedPath, SystemLookups());
}
