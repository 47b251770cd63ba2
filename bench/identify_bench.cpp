// Prints the median and 99th-percentile time of one DVP_IdentifyFileW call through the test host,
// for the default settings and for a table of 200 groups and 2,000 extensions: through the real
// DLL (with its log file), through the same code with a discarding log, and the refresh's own work
// (load from the host's memory, parse, rebuild, lookup) without the log.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "config/config_lock.h"
#include "config/config_refresh.h"
#include "config/plugin_config.h"
#include "host/test_host.h"
#include "plugin/exports.h"

namespace {

using IdentifyFileFn = BOOL(WINAPI*)(HWND, LPWSTR, void*, HANDLE);

constexpr int kWarmUpCalls = 50;
constexpr int kLoggedCalls = 2000;
constexpr int kSilentCalls = 5000;
constexpr int kPartCalls = 1000;
constexpr int kGroups = 200;
constexpr int kExtensionsPerGroup = 10;

struct Figures {
    double medianUs = 0;
    double p99Us = 0;
};

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path);
    return text.substr(0, text.find_last_of(L"\\/"));
}

Figures Measure(int calls, const std::function<void()>& call) {
    for (int i = 0; i < kWarmUpCalls; ++i) call();
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> times(static_cast<size_t>(calls));
    for (double& time : times) {
        QueryPerformanceCounter(&start);
        call();
        QueryPerformanceCounter(&end);
        time = 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    }
    std::sort(times.begin(), times.end());
    return Figures{times[times.size() / 2], times[times.size() * 99 / 100]};
}

// Two-letter extensions over 45 characters give 2,025 distinct names; the short group names and
// editor path keep the whole table inside the host's 8,191-unit load buffer.
std::wstring ExtensionName(size_t index) {
    const std::wstring letters = L"abcdefghijklmnopqrstuvwxyz0123456789_-~!@#$&=";
    return {letters[index / letters.size()], letters[index % letters.size()]};
}

std::wstring LargeTable() {
    std::wstring table;
    size_t ext = 0;
    for (int group = 0; group < kGroups; ++group) {
        if (group > 0) table += L'\n';
        table += L"g" + std::to_wstring(group) + L"\t";
        for (int i = 0; i < kExtensionsPerGroup; ++i, ++ext) {
            if (i > 0) table += L';';
            table += ExtensionName(ext);
        }
        table += L"\te.exe";
    }
    return table;
}

// The bench's own log folder holds one log file (rotation would move bytes to velloquin.log.1).
std::wstring logFolder;

long long FileBytes(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

long long LogFileBytes() {
    return FileBytes(logFolder + L"\\velloquin.log") + FileBytes(logFolder + L"\\velloquin.log.1");
}

void Report(const char* what, const Figures& figures) {
    std::printf("  %-44s median %8.1f us   p99 %8.1f us\n", what, figures.medianUs, figures.p99Us);
}

void RunScenario(const char* title, IdentifyFileFn loggedIdentify, const wchar_t* fileName) {
    std::wstring name = fileName;
    BYTE record[104] = {};
    auto logged = [&] { loggedIdentify(nullptr, &name[0], record, nullptr); };
    auto silent = [&] { DVP_IdentifyFileW(nullptr, &name[0], record, nullptr); };
    auto refresh = [&] {
        ConfigLockGuard lock;
        RefreshConfiguration();
        pluginConfig.FindViewerForFile(name.c_str());
    };
    BOOL found = DVP_IdentifyFileW(nullptr, &name[0], record, nullptr);
    {
        ConfigLockGuard lock;
        std::printf("%s: %zu groups, %zu extensions; %ls %s\n", title, pluginConfig.groupToViewer.size(),
                    pluginConfig.extToGroup.size(), name.c_str(), found ? "accepted" : "REFUSED");
    }
    long long logBefore = LogFileBytes();
    Figures withLog = Measure(kLoggedCalls, logged);
    long long logBytes = LogFileBytes() - logBefore;
    Figures withoutLog = Measure(kSilentCalls, silent);
    Figures refreshOnly = Measure(kSilentCalls, refresh);
    Report("DVP_IdentifyFileW, real DLL with its log", withLog);
    std::printf("  log bytes per identify, settings unchanged: %lld\n",
                logBytes / (kWarmUpCalls + kLoggedCalls));
    Report("DVP_IdentifyFileW, log discarded", withoutLog);
    Report("refresh + lookup alone, log discarded", refreshOnly);
    std::wstring text = SerializeMappings(pluginConfig.mappings);
    PluginConfig copy = pluginConfig;
    Report("  of which ParseMappings", Measure(kPartCalls, [&] { ParseMappings(text); }));
    Report("  of which RebuildIndex", Measure(kPartCalls, [&] { RebuildIndex(copy); }));
    std::printf("  share of the call spent in logging (medians): %.0f %%\n\n",
                100.0 * (withLog.medianUs - withoutLog.medianUs) / withLog.medianUs);
}

}  // namespace

int main() {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"velloquin-bench-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    logFolder = folder;
    std::wstring withSeparator = folder + L"\\";
    SetEnvironmentVariableW(L"TMP", withSeparator.c_str());
    SetEnvironmentVariableW(L"TEMP", withSeparator.c_str());
    testhost::Host().configFolder = folder;
    testhost::Host().keepStoreInMemory = true;

    HMODULE dll = LoadLibraryW((ProgramFolder() + L"\\..\\velloquin.dll").c_str());
    IdentifyFileFn loggedIdentify = dll ? reinterpret_cast<IdentifyFileFn>(reinterpret_cast<void*>(
                                              GetProcAddress(dll, "DVP_IdentifyFileW")))
                                        : nullptr;
    if (!loggedIdentify) {
        std::printf("velloquin.dll not found next to the bench folder\n");
        return 1;
    }
    testhost::ClearStore();
    RunScenario("Default settings", loggedIdentify, L"C:\\docs\\notes.txt");

    testhost::Store store;
    std::wstring table = LargeTable();
    std::printf("large table text: %zu units (load buffer holds 8191)\n", table.size());
    store[L"mappings"] = testhost::StoredValue{4, table, 0};
    testhost::WriteStore(store);
    testhost::ResetHost();
    testhost::Host().keepStoreInMemory = true;
    std::wstring lastFile = L"C:\\docs\\notes." + ExtensionName(kGroups * kExtensionsPerGroup - 1);
    RunScenario("200 groups, 2,000 extensions", loggedIdentify, lastFile.c_str());

    FreeLibrary(dll);
    std::printf("log file: %ls\\velloquin.log\n", folder.c_str());
    return 0;
}
