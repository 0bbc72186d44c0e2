// The registry operations the program uses, and the one setting it keeps there.
#pragma once

#include <windows.h>

extern const char SETTINGS_KEY[];
extern const char PRINTER_VALUE[];

// Reads valueName of subKey into buffer (TEXT_BUFFER_SIZE bytes); the result is
// always zero-terminated. 1 on success, 0 on failure (logged).
int ReadRegistryValue(HKEY root, const char* subKey, const char* valueName, char* buffer);

// Creates subKey if needed and sets valueName ("" for the default value).
// 1 on success, 0 on failure (logged; its code is left as the last error).
int WriteRegistryValue(HKEY root, const char* subKey, const char* valueName, DWORD type,
                       const BYTE* data, DWORD size);

// Fills g_printerName with the saved printer; 1 when one was read, 0 otherwise
// (g_printerName is then empty).
int LoadConfiguredPrinter();

// The station's Notify option: 1 when it is a REG_DWORD of 1, 0 for anything else or
// nothing. Read without log entries: a station without it logs as it always did.
int ReadNotifyOption();
