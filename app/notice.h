// What the person at the packing bench is told at the end of a run with a file, when
// the station's Notify option asks for it, and what IT finds in the Application log.
#pragma once

#include <windows.h>

// Logs like LogEvent; the first such event of the run stays in g_noticeEvent and
// g_noticeError for the notice.
void LogNoticeEvent(DWORD errorCode, const char* eventCode, const char* text);

// With Notify set and an event kept: one message box in plain words, unless another
// copy's notice is open. filePath is the label's path, as printed from.
void ShowNotice(const char* filePath);

// For IT, with or without Notify: the kept event as one event of the source "Quvara" in
// Windows' Application log, its ID the code's number, a warning where the notice warns, with
// the label file, the printer, the run's log lines and the queue's driver and port. Nothing
// when no event was kept; a failure to write it changes nothing else.
void ReportLabelEvent(const char* labelFile);
