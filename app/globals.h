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
