#include "print/raw_print.h"

#include <windows.h>
#include <winspool.h>

#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/notice.h"

// In DRIVER_INFO_8's dwPrinterDriverAttributes: the driver is XPS-based. Documented as
// 0x00000002; the headers this builds with do not define it.
static const DWORD PRINTER_DRIVER_XPS = 0x00000002;

// The printer's PRINTER_INFO_2A in memory to be released with LocalFree; NULL when the
// spooler cannot tell.
static BYTE* LoadPrinterInfo(HANDLE printer)
{
    DWORD needed = 0;
    if (GetPrinterA(printer, 2, NULL, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
        needed < sizeof(PRINTER_INFO_2A))
        return NULL;
    BYTE* info = (BYTE*)LocalAlloc(LMEM_ZEROINIT, needed);
    if (info != NULL && !GetPrinterA(printer, 2, info, needed, &needed)) {
        LocalFree(info);
        info = NULL;
    }
    return info;
}

// 1 when the driver of that name is XPS-based. It is looked up among the drivers of every
// environment: a printer may have only its 64-bit driver (v4 drivers need no copy per
// architecture). Windows before 8 lists no such flag, and Wine none.
static int IsXpsDriverName(const char* driverName)
{
    DWORD needed = 0;
    DWORD count = 0;
    if (EnumPrinterDriversA(NULL, (LPSTR) "all", 8, NULL, 0, &needed, &count) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    BYTE* drivers = (BYTE*)LocalAlloc(LMEM_ZEROINIT, needed);
    if (drivers == NULL)
        return 0;
    int xps = 0;
    if (EnumPrinterDriversA(NULL, (LPSTR) "all", 8, drivers, needed, &needed, &count)) {
        const DRIVER_INFO_8A* driver = (const DRIVER_INFO_8A*)drivers;
        for (DWORD i = 0; i < count; ++i)
            if (driver[i].pName != NULL && strcmp(driver[i].pName, driverName) == 0 &&
                (driver[i].dwPrinterDriverAttributes & PRINTER_DRIVER_XPS) != 0)
                xps = 1;
    }
    LocalFree(drivers);
    return xps;
}

// 1 when the printer's driver is XPS-based, 0 when it is not or cannot tell. Asked by the
// driver's name: asking the queue for its driver (GetPrinterDriver) installs the driver of
// a shared queue that has none here, a prompt or a failure at the bench.
static int IsXpsDriver(HANDLE printer)
{
    BYTE* info = LoadPrinterInfo(printer);
    if (info == NULL)
        return 0;
    const char* driverName = ((const PRINTER_INFO_2A*)info)->pDriverName;
    int xps = driverName != NULL && IsXpsDriverName(driverName);
    LocalFree(info);
    return xps;
}

// An XPS-based driver (every v4 driver, Remote Desktop's Easy Print) drops RAW data
// and prints nothing; XPS_PASS hands the same bytes to the port unchanged.
static DWORD StartDocument(HANDLE printer, DOC_INFO_1A* job)
{
    if (IsXpsDriver(printer)) {
        job->pDatatype = (LPSTR) "XPS_PASS";
        LogEvent(0, "QV116", "XPS driver: printing with datatype XPS_PASS");
    }
    return StartDocPrinterA(printer, 1, (LPBYTE)job);
}

// Streams the file to the open page chunk by chunk until a read returns nothing
// or something fails; the job is ended by the caller either way. 1 when all of it went.
static int CopyFileToPrinter(HANDLE file, HANDLE printer)
{
    for (;;) {
        memset(g_transferBuffer, 0, sizeof(g_transferBuffer));
        DWORD bytesRead = 0;
        if (!ReadFile(file, g_transferBuffer, sizeof(g_transferBuffer), &bytesRead, NULL)) {
            LogNoticeEvent(GetLastError(), "QV110", "Can't read file");
            return 0;
        }
        if (bytesRead == 0) {
            LogEvent(0, "QV111", "End-of-file");
            return 1;
        }

        DWORD bytesWritten = 0;
        if (!WritePrinter(printer, g_transferBuffer, bytesRead, &bytesWritten)) {
            LogNoticeEvent(GetLastError(), "QV112", "Can't write to printer");
            return 0;
        }
        // A short write sets no error of its own; the entry carries whatever stands.
        if (bytesWritten != bytesRead) {
            LogNoticeEvent(GetLastError(), "QV113", "Read-write size mismatch");
            return 0;
        }
    }
}

// The document is open and a page started: send the file, then end page and document.
// 1 when the whole file is in the queue as a finished job.
static int PrintPage(HANDLE file, HANDLE printer)
{
    if (GetFileSize(file, NULL) == INVALID_FILE_SIZE)
        LogEvent(GetLastError(), "QV108", "Can't get file size");
    if (SetFilePointer(file, 0, NULL, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        LogEvent(GetLastError(), "QV109", "Can't set file pointer");

    int whole = CopyFileToPrinter(file, printer);

    if (!EndPagePrinter(printer)) {
        LogNoticeEvent(GetLastError(), "QV114", "Couldn't complete page");
        EndDocPrinter(printer);
        return 0;
    }
    if (!EndDocPrinter(printer)) {
        LogNoticeEvent(GetLastError(), "QV115", "Failed to close the job");
        return 0;
    }
    return whole;
}

// Why a label that is whole in the queue waits there, by the printer's attributes or
// status; the first that applies is told.
struct WaitReason {
    DWORD attributes;
    DWORD status;
    const char* eventCode;
    const char* text;
};

static const WaitReason WAIT_REASONS[] = {
    {PRINTER_ATTRIBUTE_WORK_OFFLINE, 0, "QV117", "Label waits: printer set to Use Printer Offline"},
    {0, PRINTER_STATUS_PAUSED, "QV118", "Label waits: printing paused"},
    {0, PRINTER_STATUS_OFFLINE | PRINTER_STATUS_NOT_AVAILABLE, "QV119",
     "Label waits: printer offline"},
    {0, PRINTER_STATUS_PAPER_OUT, "QV120", "Label waits: printer out of paper"},
    {0,
     PRINTER_STATUS_ERROR | PRINTER_STATUS_PAPER_JAM | PRINTER_STATUS_PAPER_PROBLEM |
         PRINTER_STATUS_DOOR_OPEN | PRINTER_STATUS_USER_INTERVENTION,
     "QV121", "Label waits: printer in error"},
};

// Logs why the label, whole in the queue, will wait there; nothing when the printer is
// ready or cannot tell.
static void NoteWaitingLabel(HANDLE printer)
{
    BYTE* buffer = LoadPrinterInfo(printer);
    if (buffer == NULL)
        return;
    const PRINTER_INFO_2A* info = (const PRINTER_INFO_2A*)buffer;
    for (const WaitReason& reason : WAIT_REASONS) {
        if ((info->Attributes & reason.attributes) != 0 || (info->Status & reason.status) != 0) {
            LogNoticeEvent(0, reason.eventCode, reason.text);
            break;
        }
    }
    LocalFree(buffer);
}

int PrintFileRaw(const char* printerName, const char* filePath, const WCHAR* widePath)
{
    memset(g_transferBuffer, 0, sizeof(g_transferBuffer));
    LogEvent(0, "QV101", "Printing...");
    LogEvent(0, "QV102", filePath);
    LogEvent(0, "QV103", printerName);

    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE printer = NULL;

    // The queue shows the job under the file's path; RAW keeps the driver's hands off the bytes.
    DOC_INFO_1A job;
    job.pDocName = (LPSTR)filePath;
    job.pOutputFile = NULL;
    job.pDatatype = (LPSTR) "RAW";

    if (widePath != NULL)
        file = CreateFileW(widePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    else
        file = CreateFileA(filePath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        LogNoticeEvent(GetLastError(), "QV104", "Failed to open file");
    } else if (!OpenPrinterA((LPSTR)printerName, &printer, NULL)) {
        printer = NULL;
        LogNoticeEvent(GetLastError(), "QV105", "Failed to open printer");
    } else if (StartDocument(printer, &job) == 0) {
        // No document was started, so there is none to end.
        LogNoticeEvent(GetLastError(), "QV106", "Couldn't create a job");
    } else if (!StartPagePrinter(printer)) {
        LogNoticeEvent(GetLastError(), "QV107", "Couldn't start new page");
        EndDocPrinter(printer);
    } else if (PrintPage(file, printer) && g_notify == 1) {
        // Asked while the printer is still open; only with Notify set, so that the
        // log of a station without it stays as it was.
        NoteWaitingLabel(printer);
    }

    if (printer != NULL)
        ClosePrinter(printer);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return 0;
}
