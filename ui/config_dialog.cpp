#include "ui/config_dialog.h"

#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "config/save_configuration.h"
#include "print/address_print.h"
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

int ReadAddressField(char* address, int required)
{
    memset(address, 0, TEXT_BUFFER_SIZE);
    GetDlgItemTextA(g_dialog, IDC_PRINTER_ADDRESS, address, TEXT_BUFFER_SIZE);
    if (address[0] == '\0' && !required)
        return 0;
    LogEvent(0, "QV044", "Reading printer address");
    LogEvent(0, "QV045", address);
    char host[HOST_SIZE], port[PORT_SIZE];
    if (ParsePrinterAddress(address, host, port))
        return 1;
    LogEvent(0, "QV046", "Not a printer address");
    MessageBoxA(g_dialog,
                "Quvara cannot read the network label printer's address.\r\n\r\nWrite it as "
                "tcp://name or tcp://name:port, for example tcp://192.168.1.50 or "
                "tcp://[fd00::50]:9100, or leave it empty to use the printer chosen in the list.",
                "Quvara", MB_OK | MB_ICONERROR);
    return -1;
}

INT_PTR CALLBACK ConfigDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_INITDIALOG:
        g_dialog = window;
        FillPrinterList(0);
        // The saved printer may be an address: it is shown where it is written.
        SendDlgItemMessageA(window, IDC_PRINTER_ADDRESS, EM_LIMITTEXT, TEXT_BUFFER_SIZE - 1, 0);
        if (IsPrinterAddress(g_printerName))
            SetDlgItemTextA(window, IDC_PRINTER_ADDRESS, g_printerName);
        // TRUE: the dialog manager gives the first control the focus.
        return TRUE;

    case WM_COMMAND:
        // The whole wParam: only clicks, Enter, Esc and the close box have a zero high
        // word; the list's notifications carry theirs and are not commands.
        switch (wParam) {
        case IDOK: {
            // An address, when one is written, is the printer; one that cannot be read
            // keeps the dialog open.
            char address[TEXT_BUFFER_SIZE];
            int addressed = ReadAddressField(address, 0);
            if (addressed < 0)
                break;
            // Saves even with nothing selected: then the name loaded with the list.
            if (addressed > 0)
                memcpy(g_printerName, address, sizeof(g_printerName));
            else
                GetSelectedPrinter();
            SaveConfiguration();
            EndDialog(window, 1);
            break;
        }
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
        case IDC_TEST_ADDRESS:
            TestPrinterAddress();
            break;
        }
        return TRUE;
    }
    return FALSE;
}
