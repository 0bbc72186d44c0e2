// The diagnostic log: QuvaraLog.txt in the user's temporary folder, new each run.
#pragma once

#include <windows.h>

// Creates the log and keeps its path in g_logPath; on any failure the run goes on with
// logging switched off.
void OpenLog();
void CloseLog();

// Appends "CODE: text", plus the system's text for errorCode when it is not 0, to the log
// and to g_logLines.
void LogEvent(DWORD errorCode, const char* eventCode, const char* text);

// The system's text for errorCode in the user's language, to be released with LocalFree;
// NULL when the system has none.
char* LoadSystemText(DWORD errorCode);

// How much of such a text to show inside other words: at most `most` bytes, without the
// line break the system ends its texts with.
size_t ShownTextLength(const char* systemText, size_t most);
