// Sends one file, byte for byte, to one printer as a RAW spooler job.
#pragma once

#include <windows.h>

// Always 0: the outcome is recorded in the log only. The job is named after filePath; the
// file opened is widePath when given (a name the ANSI code page cannot spell), else filePath.
int PrintFileRaw(const char* printerName, const char* filePath, const WCHAR* widePath = NULL);

// Reads the label's next chunk into g_transferBuffer: its size, 0 at the end of the file
// (logged), -1 when the file cannot be read (logged, and kept for the notice).
int ReadLabelChunk(HANDLE file);

// name is known (or, with prefix, begins with it), ASCII letters compared without case.
int IsNamedWithoutCase(const char* name, const char* known, bool prefix);
