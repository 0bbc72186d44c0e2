#include "ui/config_dialog.h"

#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "config/save_configuration.h"
#include "res/resource.h"
#include "ui/dialog_commands.h"
#include "ui/printer_list.h"

int GetSelectedPrinter()
{
    LogEvent(0, "QV020", "Get selected printer");

    LRESULT selected = SendDlgItemMessageA(g_dialog, IDC_PRINTER_LIST, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) {
        MessageBoxA(g_dialog, "Please select a printer", "Quvara", MB_OK);
        return 0;
    }
    // Asked first: CB_GETLBTEXT copies the whole entry whatever room there is.
    LRESULT length =
        SendDlgItemMessageA(g_dialog, IDC_PRINTER_LIST, CB_GETLBTEXTLEN, (WPARAM)selected, 0);
    if (length == CB_ERR || length >= (LRESULT)sizeof(g_printerName)) {
        LogEvent(ERROR_INSUFFICIENT_BUFFER, "QV042", "Printer name too long");
        return 0;
    }

    memset(g_printerName, 0, sizeof(g_printerName));
    SendDlgItemMessageA(g_dialog, IDC_PRINTER_LIST, CB_GETLBTEXT, (WPARAM)selected,
                        (LPARAM)g_printerName);
    LogEvent(0, "QV021", "Found selected printer");
    LogEvent(0, "QV022", g_printerName);
    return 1;
}

INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_INITDIALOG:
        g_dialog = window;
        // TRUE: the dialog manager gives the first control the focus.
        return FillPrinterList(0);

    case WM_COMMAND:
        // The whole wParam: only clicks, Enter, Esc and the close box have a zero high
        // word; the list's notifications carry theirs and are not commands.
        switch (wParam) {
        case IDOK:
            // Saves even with nothing selected: then the name loaded with the list.
            GetSelectedPrinter();
            SaveConfiguration();
            EndDialog(window, 1);
            break;
        case IDCANCEL:
            EndDialog(window, 1);
            break;
        case IDC_SETUP:
            ShowPrinterProperties();
            break;
        case IDC_TEST:
            TestConfiguration();
            break;
        case IDC_SHOW_REMOTE:
            ToggleRemotePrinters();
            break;
        }
        return TRUE;
    }
    return FALSE;
}
