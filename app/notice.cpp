#include "app/notice.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/wide_text.h"

// Room, in wide characters, for the fixed words, a printer name or file path, Windows' own
// text (cut to TEXT_BUFFER_SIZE), the driver that is the cause and the log's path, each
// less than TEXT_BUFFER_SIZE: no piece is ever cut for want of room.
static const size_t NOTICE_SIZE = (size_t)6 * TEXT_BUFFER_SIZE;

// ReportEvent's limit for one string ("Each string is limited to 31,839 characters").
static const size_t EVENT_STRING_MOST = 31839;

// One box at a time across copies: 25 labels clicked while the printer is missing give
// one notice, not 25 stacked. Unprefixed, the name is the session's own (as "Local\"
// makes it), and Windows before 2000 takes no backslash in it.
static const char NOTICE_GUARD_NAME[] = "QuvaraNotice";

static const char ASK_FOR_SETUP[] = "Ask whoever looks after this computer to run Quvara setup.";
static const char ASK_IF_AGAIN[] =
    "Open the label again. If this happens again, ask whoever looks after this computer.";
static const char CHECK_PRINTER[] =
    "Check that the printer is switched on and ready, and open the label again. If this "
    "happens again, ask whoever looks after this computer.";
static const char CHECK_NETWORK_PRINTER[] =
    "Check that the printer is switched on, awake and on the network, and that the address is "
    "the one its configuration label shows; then open the label again. If this happens again, "
    "ask whoever looks after this computer.";
static const char CHOOSE_LABEL_DRIVER[] =
    "Ask whoever looks after this computer to choose the label printer in Quvara setup, with "
    "the label printer's own driver.";
static const char PART_SENT[] = "Not all of the label reached the printer ";
static const char NOT_FINISHED[] = "The label may not print: the print job for ";
static const char WAITING_REPORTED[] =
    "The label is waiting in the printer queue: Windows reports the printer ";
static const char NOT_PRINTED_AT[] = "The label was not printed: the printer at ";

// Whose name the notice quotes.
// An address is the printer's, as the queue's port is kept: the setup's Test of an address
// leaves the list's printer as it is.
enum NoticeSubject {
    NO_SUBJECT,
    PRINTER_SUBJECT,
    FILE_SUBJECT,
    DRIVER_SUBJECT,
    PORT_SUBJECT,
    ADDRESS_SUBJECT
};

// One event's notice: what happened, in the words around the quoted name, Windows' own
// words for the error where they help, then what to do. A job that failed on a queue whose
// driver passes no labels names the driver as the cause.
struct NoticeText {
    const char* eventCode;
    DWORD errorCode;  // this one only; 0 for any
    UINT icon;
    NoticeSubject subject;
    bool systemText;
    bool jobFailure;
    const char* opening;
    const char* closing;
    const char* advice;
};

static const NoticeText NOTICE_TEXTS[] = {
    {"QV001", 0, MB_ICONERROR, NO_SUBJECT, false, false,
     "The label was not printed: Quvara has not been set up on this computer.", "", ASK_FOR_SETUP},
    {"QV041", 0, MB_ICONERROR, NO_SUBJECT, false, false,
     "The label was not printed: the name of the label file, with its folder, is too long.", "",
     "Save the label under a shorter name and open it again."},
    {"QV104", 0, MB_ICONERROR, FILE_SUBJECT, true, false,
     "The label was not printed: the label file ", " could not be opened.",
     "If the download has not finished, wait for it and open the label again."},
    {"QV105", ERROR_INVALID_PRINTER_NAME, MB_ICONERROR, PRINTER_SUBJECT, false, false,
     "The label was not printed: Windows has no printer named ", ".", ASK_FOR_SETUP},
    {"QV105", 0, MB_ICONERROR, PRINTER_SUBJECT, true, false,
     "The label was not printed: the printer ", " could not be opened.", ASK_IF_AGAIN},
    {"QV106", 0, MB_ICONERROR, PRINTER_SUBJECT, true, true,
     "The label was not printed: the printer ", " did not accept the label.", CHECK_PRINTER},
    {"QV107", 0, MB_ICONERROR, PRINTER_SUBJECT, true, true,
     "The label was not printed: the printer ", " did not accept the label.", CHECK_PRINTER},
    {"QV110", 0, MB_ICONERROR, PRINTER_SUBJECT, true, false, PART_SENT, ".", ASK_IF_AGAIN},
    {"QV112", 0, MB_ICONERROR, PRINTER_SUBJECT, true, true, PART_SENT, ".", ASK_IF_AGAIN},
    // A short write sets no error: the one standing may be an earlier call's.
    {"QV113", 0, MB_ICONERROR, PRINTER_SUBJECT, false, true, PART_SENT, ".", ASK_IF_AGAIN},
    {"QV114", 0, MB_ICONERROR, PRINTER_SUBJECT, true, true, NOT_FINISHED,
     " could not be finished.", "If no label comes out, open the label again."},
    {"QV115", 0, MB_ICONERROR, PRINTER_SUBJECT, true, true, NOT_FINISHED,
     " could not be finished.", "If no label comes out, open the label again."},
    {"QV117", 0, MB_ICONWARNING, PRINTER_SUBJECT, false, false,
     "The label is waiting in the printer queue: the printer ",
     " is set to \"Use Printer Offline\".",
     "To print it, open the printer's queue (Settings, Printers) and untick \"Use Printer "
     "Offline\" in its Printer menu."},
    {"QV118", 0, MB_ICONWARNING, PRINTER_SUBJECT, false, false,
     "The label is waiting in the printer queue: printing is paused for ", ".",
     "To print it, open the printer's queue (Settings, Printers) and untick \"Pause Printing\" "
     "in its Printer menu."},
    {"QV119", 0, MB_ICONWARNING, PRINTER_SUBJECT, false, false, WAITING_REPORTED, " offline.",
     "Switch the printer on and check its cable or network; the label prints when the printer "
     "is ready."},
    {"QV120", 0, MB_ICONWARNING, PRINTER_SUBJECT, false, false, WAITING_REPORTED,
     " out of paper.", "Load labels into the printer; the label prints when the printer is ready."},
    {"QV121", 0, MB_ICONWARNING, PRINTER_SUBJECT, false, false, WAITING_REPORTED,
     " in an error state.",
     "Check the printer's labels, ribbon and cover; the label prints when the printer is "
     "ready."},
    {"QV122", 0, MB_ICONWARNING, DRIVER_SUBJECT, false, false,
     "The label will not come out of a label printer: Windows' driver ",
     " passes no labels on to a printer.", CHOOSE_LABEL_DRIVER},
    {"QV123", 0, MB_ICONWARNING, PORT_SUBJECT, false, false,
     "The label will not come out of a label printer: the printer's port ",
     " passes no labels on to a printer.",
     "Ask whoever looks after this computer to set the printer's port to the label printer's "
     "own (Printer properties, Ports)."},
    {"QV130", 0, MB_ICONERROR, ADDRESS_SUBJECT, false, false,
     "The label was not printed: the saved printer ", " is not a printer address.",
     ASK_FOR_SETUP},
    {"QV132", 0, MB_ICONERROR, ADDRESS_SUBJECT, false, false,
     "The label was not printed: another label was still being sent to ",
     " after 2 minutes.", ASK_IF_AGAIN},
    {"QV133", 0, MB_ICONERROR, ADDRESS_SUBJECT, true, false,
     "The label was not printed: Windows' network could not be used to reach ", ".",
     ASK_IF_AGAIN},
    {"QV134", 0, MB_ICONERROR, ADDRESS_SUBJECT, true, false,
     "The label was not printed: the network knows no printer ", ".",
     "Check that this computer is on the network and open the label again. If this happens "
     "again, ask whoever looks after this computer to check the printer's address in Quvara "
     "setup."},
    {"QV135", 0, MB_ICONERROR, ADDRESS_SUBJECT, true, false, NOT_PRINTED_AT,
     " refused the connection.", CHECK_NETWORK_PRINTER},
    {"QV136", 0, MB_ICONERROR, ADDRESS_SUBJECT, true, false, NOT_PRINTED_AT,
     " did not answer.", CHECK_NETWORK_PRINTER},
    {"QV138", 0, MB_ICONERROR, ADDRESS_SUBJECT, true, false, PART_SENT,
     ": the connection was lost.",
     "Look at the printer: if the label did not come out whole, open the label again."},
    {"QV139", 0, MB_ICONWARNING, ADDRESS_SUBJECT, false, false, "The label was sent to ",
     ", but the printer did not confirm it.",
     "Look at the printer before you open the label again: it may have printed."},
};

static size_t WideLength(const WCHAR* text)
{
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

static void AppendWide(WCHAR* notice, const WCHAR* text)
{
    size_t used = WideLength(notice), length = WideLength(text);
    length = std::min(length, NOTICE_SIZE - 1 - used);
    memcpy(notice + used, text, length * sizeof(WCHAR));
    notice[used + length] = 0;
}

// The first length bytes of ANSI text, in wide characters: never more of them than bytes,
// and the notice has room for every piece.
static void AppendBytes(WCHAR* notice, const char* text, size_t length)
{
    size_t used = WideLength(notice);
    int converted = length == 0 ? 0
                                : MultiByteToWideChar(CP_ACP, 0, text, (int)length, notice + used,
                                                      (int)(NOTICE_SIZE - 1 - used));
    notice[used + converted] = 0;
}

static void AppendText(WCHAR* notice, const char* text)
{
    AppendBytes(notice, text, strlen(text));
}

// Windows' own words for the error, on a line of their own, cut so that what to do
// still fits after them.
static void AppendSystemText(WCHAR* notice, DWORD errorCode)
{
    char* systemText = LoadSystemText(errorCode);
    if (systemText == NULL)
        return;
    AppendText(notice, "Windows reports: ");
    // The system's own line break is dropped; ours follows.
    AppendBytes(notice, systemText, ShownTextLength(systemText, TEXT_BUFFER_SIZE));
    AppendText(notice, "\r\n");
    LocalFree(systemText);
}

// The kept event's entry; NULL when nothing was kept.
static const NoticeText* FindNoticeText()
{
    for (const NoticeText& text : NOTICE_TEXTS)
        if (g_noticeEvent != NULL && strcmp(text.eventCode, g_noticeEvent) == 0 &&
            (text.errorCode == 0 || text.errorCode == g_noticeError))
            return &text;
    return NULL;
}

// A job that failed on a queue whose driver passes no labels on: the driver is the cause.
static bool DriverIsTheCause(const NoticeText* text)
{
    return text->jobFailure && g_driverPassesNoLabels;
}

static void BuildNotice(const NoticeText* text, const WCHAR* filePath, WCHAR* notice)
{
    notice[0] = 0;
    AppendText(notice, text->opening);
    if (text->subject == FILE_SUBJECT) {
        AppendText(notice, "\"");
        AppendWide(notice, filePath);
        AppendText(notice, "\"");
    } else if (text->subject != NO_SUBJECT) {
        AppendText(notice, "\"");
        AppendText(notice, text->subject == PRINTER_SUBJECT   ? g_printerName
                           : text->subject == DRIVER_SUBJECT  ? g_printerDriver
                           : text->subject == ADDRESS_SUBJECT ? g_printerPort
                                                              : g_discardingPort);
        AppendText(notice, "\"");
    }
    AppendText(notice, text->closing);
    AppendText(notice, "\r\n");
    if (text->systemText && g_noticeError != 0)
        AppendSystemText(notice, g_noticeError);
    if (DriverIsTheCause(text)) {
        AppendText(notice, "Windows' driver \"");
        AppendText(notice, g_printerDriver);
        AppendText(notice, "\" passes no labels on to a printer.\r\n");
    }
    AppendText(notice, DriverIsTheCause(text) ? CHOOSE_LABEL_DRIVER : text->advice);
    AppendText(notice, "\r\n\r\nEvent ");
    AppendText(notice, text->eventCode);
    AppendText(notice, ".");
    if (g_logPath[0] != 0) {
        AppendText(notice, " Details: ");
        AppendWide(notice, g_logPath);
    }
}

void LogNoticeEvent(DWORD errorCode, const char* eventCode, const char* text)
{
    LogEvent(errorCode, eventCode, text);
    // The first one stopped the label; what fails after it follows from it.
    if (g_noticeEvent == NULL) {
        g_noticeEvent = eventCode;
        g_noticeError = errorCode;
    }
}

void ReportLabelEvent(const WCHAR* labelFile)
{
    const NoticeText* text = FindNoticeText();
    if (text == NULL)
        return;
    HANDLE source = RegisterEventSourceA(NULL, "Quvara");
    if (source == NULL)
        return;
    // A longer string loses the whole event: it is cut, and ends "...".
    static WCHAR file[EVENT_STRING_MOST + 1];
    size_t length = std::min(WideLength(labelFile), EVENT_STRING_MOST);
    memcpy(file, labelFile, length * sizeof(WCHAR));
    file[length] = 0;
    if (length < WideLength(labelFile))
        file[length - 1] = file[length - 2] = file[length - 3] = '.';

    static WCHAR lines[LOG_LINES_SIZE];
    WCHAR printer[TEXT_BUFFER_SIZE], driver[TEXT_BUFFER_SIZE], port[TEXT_BUFFER_SIZE];
    AnsiToWide(g_logLines, lines, LOG_LINES_SIZE);
    AnsiToWide(g_printerName, printer, TEXT_BUFFER_SIZE);
    AnsiToWide(g_printerDriver, driver, TEXT_BUFFER_SIZE);
    AnsiToWide(g_printerPort, port, TEXT_BUFFER_SIZE);
    WCHAR cause[NOTICE_SIZE];
    cause[0] = 0;
    if (DriverIsTheCause(text)) {
        AppendText(cause, " The cause: Windows' driver ");
        AppendText(cause, g_printerDriver);
        AppendText(cause, " passes no labels on to a printer.");
    }

    // "QV105" is event 105; the message table has a message for each code above.
    DWORD id = (DWORD)strtol(text->eventCode + 2, NULL, 10);
    WORD type = text->icon == MB_ICONWARNING ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE;
    LPCWSTR strings[6] = {file, printer, lines, driver, port, cause};
    ReportEventW(source, type, 0, id, NULL, 6, 0, strings, NULL);
    DeregisterEventSource(source);
}

static void ShowBox(HWND owner, const WCHAR* notice, UINT type)
{
    WCHAR caption[8];
    AnsiToWide("Quvara", caption, 8);
    MessageBoxW(owner, notice, caption, type);
}

void ShowNotice(const WCHAR* filePath)
{
    // g_notify is only ever read in a run with a file.
    if (g_notify != 1)
        return;
    const NoticeText* text = FindNoticeText();
    if (text == NULL)
        return;
    WCHAR notice[NOTICE_SIZE];
    BuildNotice(text, filePath, notice);

    // While another copy's notice is open this one's event is in the log only. A guard
    // that cannot be had does not silence the notice.
    HANDLE guard = CreateMutexA(NULL, TRUE, NOTICE_GUARD_NAME);
    int otherNoticeOpen = guard != NULL && GetLastError() == ERROR_ALREADY_EXISTS;
    if (!otherNoticeOpen)
        ShowBox(NULL, notice, MB_OK | text->icon | MB_TOPMOST | MB_SETFOREGROUND);
    if (guard != NULL && !otherNoticeOpen)
        ReleaseMutex(guard);
    if (guard != NULL)
        CloseHandle(guard);
}

void ShowTestOutcome(const WCHAR* filePath)
{
    const NoticeText* text = FindNoticeText();
    WCHAR notice[NOTICE_SIZE];
    notice[0] = 0;
    if (text != NULL) {
        BuildNotice(text, filePath, notice);
    } else {
        AppendText(notice, "The printer at \"");
        AppendText(notice, g_printerPort);
        AppendText(notice, "\" took the whole test label.");
    }
    ShowBox(g_dialog, notice, MB_OK | (text != NULL ? text->icon : MB_ICONINFORMATION));
}
