// The setup dialog shown by a run without arguments.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Copies the list's selected entry into g_printerName: 1 when it did, 0 when nothing
// is selected (the user is told) or the entry does not fit (logged).
int GetSelectedPrinter();
