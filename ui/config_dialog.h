// The setup dialog shown by a run without arguments.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
