#pragma once
// The configuration refresh at the start of DVP_IdentifyW, DVP_IdentifyFileW, DVP_CreateViewer
// and DVP_Configure, and the configuration file location.

#include <string>

// The host's configuration folder plus "velloquin.oxc"; empty until located.
extern std::wstring configPath;

// Sets configPath from the host, or to its fallback text, unless it is set already.
void LocateConfigPath();

// Locates configPath once per process, then reloads pluginConfig. Calls the host without the
// config lock; the caller must not hold it either.
void RefreshConfiguration();

// A copy of configPath taken under the config lock.
std::wstring CurrentConfigPath();
