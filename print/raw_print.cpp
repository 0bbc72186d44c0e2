#include "print/raw_print.h"

#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/notice.h"
#include "print/address_print.h"

// In DRIVER_INFO_8's dwPrinterDriverAttributes (documented, from Windows 8; the headers
// this builds with lack them): the driver is XPS-based; it prints to a fax, a file, a
// virtual printer or a service, never to a label printer.
static const DWORD PRINTER_DRIVER_XPS = 0x00000002;
static const DWORD PRINTER_DRIVER_CATEGORIES_WITHOUT_LABELS = 0x00000040 | 0x00000080 |
                                                              0x00000100 | 0x00000200;

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

// Spooler names compare without case. Only ASCII letters are folded, so that no name is
// taken for another that merely looks alike.
int IsNamedWithoutCase(const char* name, const char* known, bool prefix)
{
    size_t i = 0;
    for (; known[i] != '\0'; ++i) {
        unsigned char a = (unsigned char)name[i], b = (unsigned char)known[i];
        if ((a >= 'A' && a <= 'Z' ? a + 32 : a) != (b >= 'A' && b <= 'Z' ? b + 32 : b))
            return 0;
    }
    return prefix || name[i] == '\0';
}

// Where a queue's driver is installed: the machine's own environment ("Windows x64",
// "Windows ARM64"), which a 32-bit program is not told by default; NULL for a 32-bit
// Windows, whose environment is the caller's own. Windows 7 lacks IsWow64Process2, and
// Windows XP before SP2 IsWow64Process, hence the look-ups.
static const char* NativeEnvironment()
{
    typedef BOOL(WINAPI * IsWow64Process2Call)(HANDLE, USHORT*, USHORT*);
    typedef BOOL(WINAPI * IsWow64ProcessCall)(HANDLE, BOOL*);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    IsWow64Process2Call isWow64Process2 =
        (IsWow64Process2Call)(void (*)(void))GetProcAddress(kernel, "IsWow64Process2");
    USHORT process = 0, native = 0;
    if (isWow64Process2 != NULL && isWow64Process2(GetCurrentProcess(), &process, &native)) {
        if (native == IMAGE_FILE_MACHINE_AMD64)
            return "Windows x64";
        return native == IMAGE_FILE_MACHINE_ARM64 ? "Windows ARM64" : NULL;
    }
    IsWow64ProcessCall isWow64Process =
        (IsWow64ProcessCall)(void (*)(void))GetProcAddress(kernel, "IsWow64Process");
    BOOL wow64 = FALSE;
    if (isWow64Process != NULL && isWow64Process(GetCurrentProcess(), &wow64) && wow64)
        return "Windows x64";
    return NULL;
}

// Looks the driver up among one environment's drivers, adding the attributes of each of
// that name to *attributes: 1 when found, 0 when it is not or the listing fails (the label
// then goes RAW, as it always did), -1 when no driver there has its name.
static int FindDriver(const char* environment, const char* driverName, DWORD* attributes)
{
    DWORD needed = 0;
    DWORD count = 0;
    if (EnumPrinterDriversA(NULL, (LPSTR)environment, 8, NULL, 0, &needed, &count))
        return -1;  // none at all
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;
    BYTE* drivers = (BYTE*)LocalAlloc(LMEM_ZEROINIT, needed);
    if (drivers == NULL)
        return 0;
    int found = 0;
    if (EnumPrinterDriversA(NULL, (LPSTR)environment, 8, drivers, needed, &needed, &count)) {
        found = -1;
        const DRIVER_INFO_8A* driver = (const DRIVER_INFO_8A*)drivers;
        for (DWORD i = 0; i < count; ++i) {
            const char* name = driver[i].pName;
            if (name != NULL && IsNamedWithoutCase(name, driverName, false)) {
                found = 1;
                *attributes |= driver[i].dwPrinterDriverAttributes;
            }
        }
    }
    LocalFree(drivers);
    return found;
}

// The attributes of the driver of that name: looked up among the machine's own drivers,
// then, only when it is not there, among every environment's: a printer may have only its
// 64-bit driver (v4 drivers need no copy per architecture), and listing them all makes
// every label slower. Windows before 8 lists none of the flags, and Wine none.
static DWORD LookUpDriverAttributes(const char* driverName)
{
    DWORD attributes = 0;
    if (FindDriver(NativeEnvironment(), driverName, &attributes) < 0)
        FindDriver("all", driverName, &attributes);
    return attributes;
}

// Copies a name the spooler gave, cut to fit; NULL gives an empty one.
static void KeepName(char* kept, const char* name)
{
    memset(kept, 0, TEXT_BUFFER_SIZE);
    if (name != NULL)
        strncpy(kept, name, TEXT_BUFFER_SIZE - 1);
}

// Keeps the queue's driver and port, for the event and the checks below. The driver is
// then looked up by its name: asking the queue for its driver (GetPrinterDriver) installs
// the driver of a shared queue that has none here, a prompt or a failure at the bench.
static void NotePrinterDriver(HANDLE printer)
{
    BYTE* buffer = LoadPrinterInfo(printer);
    if (buffer == NULL)
        return;
    const PRINTER_INFO_2A* info = (const PRINTER_INFO_2A*)buffer;
    KeepName(g_printerDriver, info->pDriverName);
    KeepName(g_printerPort, info->pPortName);
    LocalFree(buffer);
}

// Windows' own drivers that pass no printer-language bytes on to a printer: Remote
// Desktop's Easy Print (its WritePrinter fails with RAW data), files, OneNote, fax.
struct DriverName {
    const char* name;
    bool prefix;
};

static const DriverName DRIVERS_WITHOUT_LABELS[] = {
    {"Remote Desktop Easy Print", false},
    {"Terminal Services Easy Print", false},
    {"Microsoft Print To PDF", false},
    {"Microsoft XPS Document Writer", false},
    {"Microsoft XPS Document Writer v4", false},
    {"Send To Microsoft OneNote", true},
    // OneNote for Windows 10's printer.
    {"Microsoft Software Printer Driver", false},
    {"Microsoft Shared Fax Driver", false},
};

static int IsDriverWithoutLabels(const char* driverName, DWORD attributes)
{
    for (const DriverName& known : DRIVERS_WITHOUT_LABELS)
        if (IsNamedWithoutCase(driverName, known.name, known.prefix))
            return 1;
    return (attributes & PRINTER_DRIVER_CATEGORIES_WITHOUT_LABELS) != 0;
}

// Ports that throw a label away, or make a file of it: Windows' own virtual printers'.
// A Remote Desktop printer's TS port is not among them: with the maker's driver it prints.
static const char* const PORTS_WITHOUT_LABELS[] = {"NUL",         "NUL:",     "FILE:",
                                                   "PORTPROMPT:", "XPSPort:", "SHRFAX:"};

// Keeps the first of the queue's ports (a pooled queue lists several, with commas) that is
// one of those, as the queue spells it; 1 when there is one.
static int FindPortWithoutLabels()
{
    for (const char* port = g_printerPort; *port != '\0';) {
        while (*port == ' ')
            ++port;
        size_t length = strcspn(port, ",");
        size_t named = length;
        while (named > 0 && port[named - 1] == ' ')
            --named;
        for (const char* known : PORTS_WITHOUT_LABELS) {
            if (named == strlen(known) && IsNamedWithoutCase(port, known, true)) {
                memcpy(g_discardingPort, port, named);
                return 1;
            }
        }
        port += length + (port[length] == ',');
    }
    return 0;
}

// An XPS-based driver (every v4 driver) drops RAW data and prints nothing; XPS_PASS hands
// the same bytes to the port unchanged. A driver that passes no labels at all is known
// before the job starts, so that a failing job names it as the cause.
static DWORD StartDocument(HANDLE printer, DOC_INFO_1A* job)
{
    NotePrinterDriver(printer);
    DWORD attributes = g_printerDriver[0] != '\0' ? LookUpDriverAttributes(g_printerDriver) : 0;
    g_driverPassesNoLabels = IsDriverWithoutLabels(g_printerDriver, attributes);
    if (attributes & PRINTER_DRIVER_XPS) {
        job->pDatatype = (LPSTR) "XPS_PASS";
        LogEvent(0, "QV116", "XPS driver: printing with datatype XPS_PASS");
    }
    return StartDocPrinterA(printer, 1, (LPBYTE)job);
}

// Appends the pieces to text (of size bytes, zero-filled), cut where they do not fit.
static void AppendPieces(char* text, size_t size, const char* const* pieces, size_t count)
{
    size_t used = strlen(text);
    for (size_t i = 0; i < count; ++i) {
        size_t length = std::min(strlen(pieces[i]), size - 1 - used);
        memcpy(text + used, pieces[i], length);
        used += length;
    }
}

// A job that fails once the queue's driver is known; with a driver that passes no labels
// the entry names it as the cause.
static void LogJobFailure(DWORD error, const char* eventCode, const char* text)
{
    char entry[2 * TEXT_BUFFER_SIZE];
    memset(entry, 0, sizeof(entry));
    const char* pieces[] = {text, ". Windows' driver ", g_printerDriver,
                            " passes no labels on to a printer"};
    AppendPieces(entry, sizeof(entry), pieces, g_driverPassesNoLabels ? 4 : 1);
    LogNoticeEvent(error, eventCode, entry);
}

// After the whole label went: a queue whose driver or port passes nothing on must not
// read as printed. 1 when it was told.
static int NoteQueueWithoutLabels()
{
    char text[2 * TEXT_BUFFER_SIZE];
    memset(text, 0, sizeof(text));
    const char* driver[] = {"Label will not come out of a label printer: driver ",
                            g_printerDriver};
    const char* port[] = {"Label will not come out of a label printer: port ", g_discardingPort};
    if (g_driverPassesNoLabels) {
        AppendPieces(text, sizeof(text), driver, 2);
        LogNoticeEvent(0, "QV122", text);
        return 1;
    }
    if (FindPortWithoutLabels()) {
        AppendPieces(text, sizeof(text), port, 2);
        LogNoticeEvent(0, "QV123", text);
        return 1;
    }
    return 0;
}

int ReadLabelChunk(HANDLE file)
{
    memset(g_transferBuffer, 0, sizeof(g_transferBuffer));
    DWORD bytesRead = 0;
    if (!ReadFile(file, g_transferBuffer, sizeof(g_transferBuffer), &bytesRead, NULL)) {
        LogNoticeEvent(GetLastError(), "QV110", "Can't read file");
        return -1;
    }
    if (bytesRead == 0)
        LogEvent(0, "QV111", "End-of-file");
    return (int)bytesRead;
}

// Streams the file to the open page chunk by chunk until a read returns nothing
// or something fails; the job is ended by the caller either way. 1 when all of it went.
static int CopyFileToPrinter(HANDLE file, HANDLE printer)
{
    for (;;) {
        int chunk = ReadLabelChunk(file);
        if (chunk <= 0)
            return chunk == 0;

        DWORD bytesRead = (DWORD)chunk, bytesWritten = 0;
        if (!WritePrinter(printer, g_transferBuffer, bytesRead, &bytesWritten)) {
            LogJobFailure(GetLastError(), "QV112", "Can't write to printer");
            return 0;
        }
        // A short write sets no error of its own; the entry carries whatever stands.
        if (bytesWritten != bytesRead) {
            LogJobFailure(GetLastError(), "QV113", "Read-write size mismatch");
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
        LogJobFailure(GetLastError(), "QV114", "Couldn't complete page");
        EndDocPrinter(printer);
        return 0;
    }
    if (!EndDocPrinter(printer)) {
        LogJobFailure(GetLastError(), "QV115", "Failed to close the job");
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
    memset(g_printerDriver, 0, sizeof(g_printerDriver));
    memset(g_printerPort, 0, sizeof(g_printerPort));
    memset(g_discardingPort, 0, sizeof(g_discardingPort));
    g_driverPassesNoLabels = 0;
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
    } else if (IsPrinterAddress(printerName)) {
        // No queue: straight to the printer, whose address the event names as its port. A
        // label waits for it, the setup's Test less.
        KeepName(g_printerPort, printerName);
        SendFileToAddress(printerName, file, g_dialog == NULL);
    } else if (!OpenPrinterA((LPSTR)printerName, &printer, NULL)) {
        printer = NULL;
        LogNoticeEvent(GetLastError(), "QV105", "Failed to open printer");
    } else if (StartDocument(printer, &job) == 0) {
        // No document was started, so there is none to end.
        LogJobFailure(GetLastError(), "QV106", "Couldn't create a job");
    } else if (!StartPagePrinter(printer)) {
        LogJobFailure(GetLastError(), "QV107", "Couldn't start new page");
        EndDocPrinter(printer);
    } else if (PrintPage(file, printer)) {
        // The whole label is in the queue. Whether it waits there is asked while the
        // printer is still open, and only with Notify set, so that the log of a station
        // without it stays as it was.
        if (!NoteQueueWithoutLabels() && g_notify == 1)
            NoteWaitingLabel(printer);
    }

    if (printer != NULL)
        ClosePrinter(printer);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return 0;
}
