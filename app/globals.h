// Process-wide state. One thread, one run: these live until the process ends.
#pragma once

#include <windows.h>

// Every path and printer name fits in this many bytes, terminating zero included.
const DWORD TEXT_BUFFER_SIZE = 500;
// File data goes to the spooler in chunks of at most this size.
const DWORD TRANSFER_CHUNK_SIZE = 1024;

extern HINSTANCE g_instance;
extern OSVERSIONINFOA g_versionInfo;
extern HANDLE g_logFile;
extern char g_printerName[TEXT_BUFFER_SIZE];
extern HWND g_dialog;
extern BYTE g_transferBuffer[TRANSFER_CHUNK_SIZE];
// The station's Notify option, read in a run with a file only: 1 shows the person at the
// bench why a label did not print, or why it waits.
extern int g_notify;
// What that notice would be about: the event that stopped the label, or why it waits in
// the queue, with its error code; NULL when the whole label went to a printer that is ready.
extern const char* g_noticeEvent;
extern DWORD g_noticeError;
// The driver and port of the queue the label went to, as far as they fit; empty when
// unknown. The event that reports a failed label names them.
extern char g_printerDriver[TEXT_BUFFER_SIZE];
extern char g_printerPort[TEXT_BUFFER_SIZE];
// The queue's driver passes no labels on to a printer (Easy Print, PDF, fax...): a job that
// fails there, or goes whole, is reported with the driver as the cause.
extern int g_driverPassesNoLabels;
// The queue's port that passes no labels on (nul:, FILE:...), as the queue spells it;
// empty when none.
const DWORD PORT_NAME_SIZE = 16;
extern char g_discardingPort[PORT_NAME_SIZE];
// The log's full path, by its wide name (a notice shows it); empty when the run has no log.
extern WCHAR g_logPath[TEXT_BUFFER_SIZE];
// The run's log entries as they were logged, log file or not, as far as they fit: the
// event that reports a failed label carries them.
const DWORD LOG_LINES_SIZE = 8192;
extern char g_logLines[LOG_LINES_SIZE];
