#include "ui/config_dialog.h"

#include "app/globals.h"

// The printer list and the dialog's commands are still to come; for now the
// dialog only remembers its window and can be closed without saving.
INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_INITDIALOG:
        g_dialog = window;
        return TRUE;
    case WM_COMMAND:
        if (wParam == IDCANCEL)
            EndDialog(window, 1);
        return TRUE;
    }
    return FALSE;
}
