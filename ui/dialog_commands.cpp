#include "ui/dialog_commands.h"

#include <windows.h>
#include <commdlg.h>
#include <winspool.h>

#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/notice.h"
#include "app/wide_text.h"
#include "print/raw_print.h"
#include "res/resource.h"
#include "ui/config_dialog.h"
#include "ui/printer_list.h"

// Pairs of description and pattern; the list ends with an empty pair (the literal's own zero).
static const char LABEL_FILE_FILTER[] = "Zebra Label (*.ZPL)\0*.ZPL\0"
                                        "EPL Label (*.EPL)\0*.EPL;*.EPL2\0"
                                        "All Files(*.*)\0*.*\0";

// The record of Windows 2000 and later, whose size the dialog checks; older headers
// would hand it a 76-byte one.
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEA) == 88, "OPENFILENAMEA of 88 bytes");

int ShowPrinterProperties()
{
    LogEvent(0, "QV023", "Displaying printer properties");
    if (!GetSelectedPrinter())
        return 0;

    HANDLE printer = NULL;
    if (!OpenPrinterA(g_printerName, &printer, NULL)) {
        LogEvent(GetLastError(), "QV024", "Couldn't open printer");
        return 0;
    }
    // What the user does in the driver's sheet is between them and the driver.
    PrinterProperties(g_dialog, printer);
    ClosePrinter(printer);

    LogEvent(0, "QV025", "Printer settings displayed");
    return 1;
}

// Asks for a label file to test with; 0, logged, when none was chosen.
static int AskForLabelFile(char* path)
{
    memset(path, 0, TEXT_BUFFER_SIZE);
    OPENFILENAMEA request;
    memset(&request, 0, sizeof(request));
    request.lStructSize = sizeof(request);
    request.hwndOwner = g_dialog;
    request.lpstrFilter = LABEL_FILE_FILTER;
    request.nFilterIndex = 1;
    request.lpstrFile = path;
    request.nMaxFile = TEXT_BUFFER_SIZE;
    request.lpstrTitle = "Select a file to print";
    request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

    // A path that does not fit makes the dialog fail, leaving no path to print from.
    if (!GetOpenFileNameA(&request)) {
        LogEvent(0, "QV027", "No file selected");
        return 0;
    }
    return 1;
}

int TestConfiguration()
{
    LogEvent(0, "QV026", "Testing configuration");
    char path[TEXT_BUFFER_SIZE];
    if (!GetSelectedPrinter() || !AskForLabelFile(path))
        return 0;
    // To the printer selected in the list, which need not be the saved one.
    PrintFileRaw(g_printerName, path);
    LogEvent(0, "QV028", "Test configuration complete");
    return 1;
}

int TestPrinterAddress()
{
    LogEvent(0, "QV047", "Testing printer address");
    char address[TEXT_BUFFER_SIZE], path[TEXT_BUFFER_SIZE];
    if (ReadAddressField(address, 1) <= 0 || !AskForLabelFile(path))
        return 0;
    // The dialog waits, at most about 35 s: a wait cursor says so.
    HCURSOR previous = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    g_noticeEvent = NULL;
    PrintFileRaw(address, path);
    SetCursor(previous);
    WCHAR widePath[TEXT_BUFFER_SIZE];
    AnsiToWide(path, widePath, TEXT_BUFFER_SIZE);
    ShowTestOutcome(widePath);
    LogEvent(0, "QV028", "Test configuration complete");
    return 1;
}

void ToggleRemotePrinters()
{
    // The box has changed its own state before the command arrives.
    if (IsDlgButtonChecked(g_dialog, IDC_SHOW_REMOTE) != BST_CHECKED) {
        FillPrinterList(0);
        return;
    }
    // No owner, so the dialog stays enabled; topmost, or it would open behind the
    // dialog, which is topmost itself.
    int answer = MessageBoxA(NULL,
                             "Getting the list of remote printers may take few minutes. "
                             "Do you want to proceed?",
                             "Show remote printers", MB_OKCANCEL | MB_ICONWARNING | MB_TOPMOST);
    if (answer == IDOK)
        FillPrinterList(1);
    else
        CheckDlgButton(g_dialog, IDC_SHOW_REMOTE, BST_UNCHECKED);
}
