#include "ui/printer_list.h"

#include <windows.h>
#include <winspool.h>

#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "config/registry.h"
#include "res/resource.h"

// CB_SETCURSEL's "no selection".
static const int NO_SELECTION = -1;

// The event codes of one listing's steps. The remote listing logs all of its own as "QVxxx".
struct ListingCodes {
    const char* query;
    const char* queryFailed;
    const char* allocating;
    const char* allocationFailed;
    const char* listing;
    const char* listingFailed;
    const char* populating;
    const char* name;
    const char* freeing;
};

static const ListingCodes LOCAL_CODES = {"QV005", "QV006", "QV007", "QV008", "QV009",
                                         "QV010", "QV011", "QV012", "QV013"};
static const ListingCodes REMOTE_CODES = {"QVxxx", "QVxxx", "QVxxx", "QVxxx", "QVxxx",
                                          "QVxxx", "QVxxx", "QVxxx", "QVxxx"};

static void SetDialogIcons()
{
    HICON icon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_APP));
    SendMessageA(g_dialog, WM_SETICON, ICON_BIG, (LPARAM)icon);
    icon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_APP));
    SendMessageA(g_dialog, WM_SETICON, ICON_SMALL, (LPARAM)icon);
}

static void EmptyPrinterList()
{
    // An empty list answers CB_ERR. Stopping at 0 left as well means a missing
    // control, which answers 0 to everything, cannot keep this loop going.
    while (SendDlgItemMessageA(g_dialog, IDC_PRINTER_LIST, CB_DELETESTRING, 0, 0) > 0) {
    }
}

// One listing: the size it needs, then the records into a buffer of exactly that size.
// NULL when that failed (logged); otherwise the caller frees the records with LocalFree.
static BYTE* ListPrinters(DWORD flags, DWORD level, const ListingCodes& codes, DWORD* count)
{
    LogEvent(0, codes.query, "EnumPrinters query memory requirements");
    DWORD needed = 0;
    *count = 0;
    // Only ERROR_INSUFFICIENT_BUFFER means there is something to list; a query that
    // succeeds has found nothing.
    BOOL listed = EnumPrintersA(flags, NULL, level, NULL, 0, &needed, count);
    if (listed || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        // A query that succeeded sets no error: the one standing is an earlier call's.
        LogEvent(listed ? 0 : GetLastError(), codes.queryFailed,
                 "EnumPrinters memory requirements query failed");
        return NULL;
    }

    LogEvent(0, codes.allocating, "Allocating memory");
    BYTE* records = (BYTE*)LocalAlloc(LMEM_ZEROINIT, needed);
    if (records == NULL) {
        LogEvent(GetLastError(), codes.allocationFailed, "Insufficient memory");
        return NULL;
    }

    LogEvent(0, codes.listing, "EnumPrinters query list of printers");
    if (!EnumPrintersA(flags, NULL, level, records, needed, &needed, count)) {
        DWORD error = GetLastError();
        LocalFree(records);
        LogEvent(error, codes.listingFailed, "EnumPrinters failed to get the list of printers");
        return NULL;
    }
    return records;
}

// Logs and appends one listed name. The saved printer's entry becomes the selection;
// of several equal names, the last one.
static void AddPrinterName(const ListingCodes& codes, const char* name, int index, int* selection)
{
    LogEvent(0, codes.name, name);
    // Byte for byte: the platform's lstrcmpA compares linguistically and takes
    // different names, such as "Strasse" and "Straße", for equal.
    if (strcmp(name, g_printerName) == 0)
        *selection = index;
    SendDlgItemMessageA(g_dialog, IDC_PRINTER_LIST, CB_ADDSTRING, 0, (LPARAM)name);
}

// The local and connected printers; 0 when the listing failed.
static int AddLocalPrinters(DWORD* count, int* selection)
{
    BYTE* records = ListPrinters(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, 5, LOCAL_CODES,
                                 count);
    if (records == NULL)
        return 0;

    LogEvent(0, LOCAL_CODES.populating, "Populating printer list");
    const PRINTER_INFO_5A* printers = (const PRINTER_INFO_5A*)records;
    for (DWORD i = 0; i < *count; ++i) {
        AddPrinterName(LOCAL_CODES, printers[i].pPrinterName, (int)i, selection);
        // Windows 95/98/Me marks the default printer in the listing: it is the best
        // guess while the saved printer has not been met.
        if (g_versionInfo.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS &&
            *selection == NO_SELECTION && (printers[i].Attributes & PRINTER_ATTRIBUTE_DEFAULT))
            *selection = (int)i;
    }

    LogEvent(0, LOCAL_CODES.freeing, "Freeing memory");
    LocalFree(records);
    return 1;
}

// The domain's printers, after the localCount local entries; 0 when the listing failed.
static int AddRemotePrinters(DWORD localCount, int* selection)
{
    LogEvent(0, "QVxxx", "Listing remote printers");
    DWORD count = 0;
    BYTE* records = ListPrinters(PRINTER_ENUM_REMOTE, 1, REMOTE_CODES, &count);
    if (records == NULL)
        return 0;

    LogEvent(0, REMOTE_CODES.populating, "Populating printer list");
    // Every record is listed, whatever its Flags say: a printer or a container of them.
    const PRINTER_INFO_1A* printers = (const PRINTER_INFO_1A*)records;
    for (DWORD j = 0; j < count; ++j)
        AddPrinterName(REMOTE_CODES, printers[j].pName, (int)(localCount + j), selection);

    LogEvent(0, REMOTE_CODES.freeing, "Freeing memory");
    LocalFree(records);
    return 1;
}

int FillPrinterList(int includeRemote)
{
    LogEvent(0, "QV004", "Initializing config dialog");
    SetDialogIcons();
    EmptyPrinterList();
    // Each fill starts from the saved name, whatever the user chose meanwhile.
    LoadConfiguredPrinter();

    LogEvent(0, "QVxxx", "Listing local and connected printers");
    int selection = NO_SELECTION;
    DWORD localCount = 0;
    // A listing that fails leaves what was added so far, with nothing selected.
    if (!AddLocalPrinters(&localCount, &selection))
        return TRUE;
    // The domain listing exists on the NT family only.
    if (includeRemote == 1 && g_versionInfo.dwPlatformId == VER_PLATFORM_WIN32_NT &&
        !AddRemotePrinters(localCount, &selection))
        return TRUE;

    SendDlgItemMessageA(g_dialog, IDC_PRINTER_LIST, CB_SETCURSEL, (WPARAM)selection, 0);
    LogEvent(0, "QV014", "Initialization complete");
    return TRUE;
}
