// A stand-in for the Win32 calls the program makes, for tests on the build host.
// Tests set up the plain data below, run product code, and inspect what it did.
// Results and error codes are those Windows gives for the same situations.
#pragma once

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace fake {

using Bytes = std::vector<BYTE>;

struct CaseInsensitiveLess {
    bool operator()(const std::string& a, const std::string& b) const;
};

struct RegistryValue {
    DWORD type = REG_NONE;
    Bytes data;
};

struct RegistryKey {
    std::map<std::string, RegistryValue, CaseInsensitiveLess> values;
    bool isVolatile = false;  // created with REG_OPTION_VOLATILE: gone after a restart
};

// One spooler job as the printer would see it.
struct Job {
    std::string printer;
    std::string documentName;
    std::string datatype;
    int pages = 0;
    bool ended = false;
    std::vector<Bytes> chunks;  // each WritePrinter call's data, in order
    Bytes accepted;             // what the spooler actually took

    std::vector<size_t> ChunkSizes() const;
};

struct InstalledDriver {
    std::string environment, name;
    DWORD attributes = 0;  // dwPrinterDriverAttributes
};

// One event written to the Application log by the source "Quvara".
struct ReportedEvent {
    WORD type;
    DWORD id;
    std::vector<std::string> strings;  // in UTF-8
};

struct DialogCall {
    HINSTANCE instance = nullptr;
    ULONG_PTR templateId = 0;
    HWND owner = nullptr;
    DLGPROC procedure = nullptr;
    LPARAM parameter = 0;
};

// A control of the dialog: a drop-down list's entries and selection, a check box's state,
// an edit box's text.
struct Control {
    std::vector<std::string> entries;
    int selection = -1;
    UINT checked = BST_UNCHECKED;
    std::string text;
};

// A printer at one of the addresses a name resolves to, in the order they resolve.
struct NetworkPrinter {
    std::string name;
    int answer = 0;           // a connect's error: 0 connects, WSAETIMEDOUT is silence
    DWORD listensAt = 0;      // refuses before this time
    size_t takes = SIZE_MAX;  // bytes it reads before it resets the connection
    int lastAnswer = 0;       // after the last byte: 0 closes, WSAETIMEDOUT stays open
    Bytes received = {};
    int connects = 0;
};

struct ShownMessageBox {
    HWND owner;
    std::string text, caption;  // MessageBoxW's in UTF-8
    UINT type;
    int openHandles;  // files, keys and printers open while it showed
};

struct ListedPrinter {
    std::string name;
    DWORD attributes = 0;
};

// What the program asked GetOpenFileNameA for.
struct OpenFileRequest {
    DWORD size;
    HWND owner;
    std::vector<std::string> filter;  // descriptions and patterns, up to the empty pair
    DWORD filterIndex, maxFile, flags;
    std::string title;
    bool fileCleared;      // the whole name buffer held zeros
    bool otherFieldsZero;  // no initial folder, no default extension, no hook, ...
};

struct World {
    // Keys by full path with the root spelt "HKLM" or "HKCU". HKEY_CLASSES_ROOT\X is
    // HKCU\Software\Classes\X where that key exists, else HKLM\Software\Classes\X.
    std::map<std::string, RegistryKey, CaseInsensitiveLess> registry;
    std::set<std::string, CaseInsensitiveLess> printers;
    // GetPrinterA level 2's pDriverName and pPortName by printer; "" if not given.
    std::map<std::string, std::string, CaseInsensitiveLess> printerDrivers, printerPorts;
    // EnumPrinterDriversA level 8: the drivers of every environment, in order.
    std::vector<InstalledDriver> installedDrivers;
    std::vector<std::string> driverEnvironments;  // those asked for; "" for NULL, the caller's
    USHORT nativeMachine = IMAGE_FILE_MACHINE_AMD64;  // IsWow64Process2's
    // GetPrinterA level 2's Attributes and Status by printer; 0 if not given.
    std::map<std::string, std::pair<DWORD, DWORD>, CaseInsensitiveLess> printerStates;
    std::vector<Job> jobs;
    std::vector<ReportedEvent> events;

    std::string tempPath;  // what GetTempPathA reports; host paths end in '/'
    std::string commandLine;
    std::string modulePath;
    // The wide forms; "": the ANSI one's bytes as Latin-1.
    std::u16string wideCommandLine, wideTempPath, wideModulePath;
    UINT codePage = 1252;  // the ANSI code page: 1252 as Latin-1, or 65001 (UTF-8)
    bool administrator = true;   // false: HKLM may be read, not written
    bool filesHereOnly = false;  // refuse absolute paths and "..": fuzzed paths stay in the folder
    DWORD lastError = 0;
    std::map<DWORD, std::string> systemTexts;  // FormatMessageA's texts beyond the usual ones

    std::vector<std::string> calls;  // every stand-in call, by name, in order
    std::vector<DialogCall> dialogs;

    // The open dialog: SendDlgItemMessageA reaches its controls through this handle only.
    HWND dialog = nullptr;
    std::map<int, Control> controls;
    std::map<WPARAM, std::string> icons;   // WM_SETICON: ICON_BIG/ICON_SMALL -> "instance:id"
    std::vector<INT_PTR> dialogEnds;       // EndDialog results
    std::vector<ShownMessageBox> messageBoxes;
    std::vector<int> messageBoxAnswers;    // given in turn; IDOK when used up
    std::vector<LONG> shellNotifications;  // SHChangeNotify events
    std::vector<ListedPrinter> localPrinters;  // EnumPrintersA level 5, in order
    std::vector<OpenFileRequest> openFileRequests;
    std::vector<std::string> openFileAnswers;  // the user's picks in turn; "" or none: Cancel
    std::vector<std::string> propertySheets;   // PrinterProperties: printer shown, owned by the dialog
    std::vector<std::string> remotePrinters;   // EnumPrintersA level 1, in order

    std::vector<NetworkPrinter> network;
    size_t sendPiece = SIZE_MAX;  // most bytes one send takes
    DWORD clock = 0;              // GetTickCount's; Sleep and the waits move it on
    HCURSOR cursor = nullptr;     // SetCursor's

    int openFiles = 0;
    int openKeys = 0;
    int openPrinters = 0;
    std::set<std::string> otherCopysMutexes;  // named mutexes another process holds
    int openMutexes = 0;
    int openSockets = 0;
    int openEventSources = 0;
    int localAllocations = 0;
};

World& TheWorld();

// Clears everything: no keys, no printers, no jobs, no injected faults.
void Reset();

// Windows starts again: volatile keys are gone, with everything below them.
void Restart();

// The nth call of `call` from now on (1 = the next) fails with `error`.
void FailCall(const std::string& call, DWORD error, int nth = 1);
// The nth WritePrinter call from now on accepts only `accepted` bytes, without error.
void ShortWrite(int nth, DWORD accepted);

// Registry helpers for tests.
void SetRegistryValue(const std::string& keyPath, const std::string& name, DWORD type,
                      const Bytes& data);
void SetRegistryString(const std::string& keyPath, const std::string& name,
                       const std::string& text);  // REG_SZ with its terminating zero
const RegistryValue* FindRegistryValue(const std::string& keyPath, const std::string& name);

// The calls of the given names, in order, leaving out everything else.
std::vector<std::string> CallsAmong(const std::set<std::string>& names);
int CountCalls(const std::string& name);

// The system's text for an error code, as FormatMessageA gives it ("" when it has none).
std::string SystemText(DWORD error);

// For the stand-in's own files: record a call; whether an injected failure is due for it
// (the last error is then set); a new handle; ws2_32's function of that name.
void Record(const char* call);
bool Injected(const char* call);
HANDLE NewHandle();
FARPROC WinsockCall(const char* name);

}  // namespace fake
