// Sends one file, byte for byte, to one printer as a RAW spooler job.
#pragma once

#include <windows.h>

// Always 0: the outcome is recorded in the log only. The job is named after filePath; the
// file opened is widePath when given (a name the ANSI code page cannot spell), else filePath.
int PrintFileRaw(const char* printerName, const char* filePath, const WCHAR* widePath = NULL);
