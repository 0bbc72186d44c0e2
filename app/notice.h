// What the person at the packing bench is told at the end of a run with a file, when
// the station's Notify option asks for it, and what IT finds in the Application log.
#pragma once

#include <windows.h>

// Logs like LogEvent; the first such event of the run stays in g_noticeEvent and
// g_noticeError for the notice.
void LogNoticeEvent(DWORD errorCode, const char* eventCode, const char* text);

// With Notify set and an event kept: one message box in plain words, unless another
// copy's notice is open. filePath is the label's path, by its wide name.
void ShowNotice(const WCHAR* filePath);

// For IT, with or without Notify: the kept event as one event of the source "Quvara" in
// Windows' Application log, its ID the code's number, a warning where the notice warns, with
// the label file (its wide name), the printer, the run's log lines, the queue's driver and
// port, and the driver as the cause of a failed job where it passes no labels. Nothing when
// no event was kept; a failure to write it changes nothing else.
void ReportLabelEvent(const WCHAR* labelFile);

// The setup's Test of an address: what became of the test label at filePath, in a box
// owned by the dialog.
void ShowTestOutcome(const WCHAR* filePath);
