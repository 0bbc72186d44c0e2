// The setup dialog shown by a run without arguments.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Copies the list's selected entry into g_printerName: 1 when it did, 0 when nothing
// is selected (the user is told) or the entry does not fit (logged).
int GetSelectedPrinter();

// Reads the address field into address (TEXT_BUFFER_SIZE bytes): 1 when it holds a printer
// address, 0 when it is empty and not required, -1 when it cannot be read as an address
// (the user is told).
int ReadAddressField(char* address, int required);
