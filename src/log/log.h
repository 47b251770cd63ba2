#pragma once

// The diagnostic log: one UTF-16 file "velloquin.log" in the user's temporary folder, kept open
// between entries; past 8 MiB it becomes "velloquin.log.1" and a new file starts. Each new file
// begins with a line that names the plug-in's version.
// Texts passed to LogWrite carry their own CR LF; LogPrintf formats (wide strings as %ls)
// and appends CR LF itself. Neither ever fails towards its caller, and both leave the
// thread's last-error value as they found it.

void LogWrite(const wchar_t* message);
void LogPrintf(const wchar_t* format, ...);

// The full path of the log file (initialises the log if needed). For tests and the demo.
const wchar_t* LogFilePath();

// From here on an entry is dropped rather than waited for when another thread holds the log: at
// process exit the other threads are gone, whatever they held.
void LogEnterProcessExit();

// Closes the file kept open between entries (the next entry opens it again). At unload.
void LogClose();
