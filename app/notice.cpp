#include "app/notice.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/globals.h"
#include "app/log.h"

// Room for the fixed words, a printer name or file path, Windows' own text (cut to
// TEXT_BUFFER_SIZE) and the log's path, each less than TEXT_BUFFER_SIZE.
static const size_t NOTICE_SIZE = (size_t)4 * TEXT_BUFFER_SIZE;

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
static const char PART_SENT[] = "Not all of the label reached the printer ";
static const char NOT_FINISHED[] = "The label may not print: the print job for ";
static const char WAITING_REPORTED[] =
    "The label is waiting in the printer queue: Windows reports the printer ";

// Whose name the notice quotes.
enum NoticeSubject { NO_SUBJECT, PRINTER_SUBJECT, FILE_SUBJECT, DRIVER_SUBJECT };

// One event's notice: what happened, in the words around the quoted name, Windows' own
// words for the error where they help, then what to do.
struct NoticeText {
    const char* eventCode;
    DWORD errorCode;  // this one only; 0 for any
    UINT icon;
    NoticeSubject subject;
    bool systemText;
    const char* opening;
    const char* closing;
    const char* advice;
};

static const NoticeText NOTICE_TEXTS[] = {
    {"QV001", 0, MB_ICONERROR, NO_SUBJECT, false,
     "The label was not printed: Quvara has not been set up on this computer.", "", ASK_FOR_SETUP},
    {"QV041", 0, MB_ICONERROR, NO_SUBJECT, false,
     "The label was not printed: the name of the label file, with its folder, is too long.", "",
     "Save the label under a shorter name and open it again."},
    {"QV104", 0, MB_ICONERROR, FILE_SUBJECT, true, "The label was not printed: the label file ",
     " could not be opened.",
     "If the download has not finished, wait for it and open the label again."},
    {"QV105", ERROR_INVALID_PRINTER_NAME, MB_ICONERROR, PRINTER_SUBJECT, false,
     "The label was not printed: Windows has no printer named ", ".", ASK_FOR_SETUP},
    {"QV105", 0, MB_ICONERROR, PRINTER_SUBJECT, true, "The label was not printed: the printer ",
     " could not be opened.", ASK_IF_AGAIN},
    {"QV106", 0, MB_ICONERROR, PRINTER_SUBJECT, true, "The label was not printed: the printer ",
     " did not accept the label.", CHECK_PRINTER},
    {"QV107", 0, MB_ICONERROR, PRINTER_SUBJECT, true, "The label was not printed: the printer ",
     " did not accept the label.", CHECK_PRINTER},
    {"QV110", 0, MB_ICONERROR, PRINTER_SUBJECT, true, PART_SENT, ".", ASK_IF_AGAIN},
    {"QV112", 0, MB_ICONERROR, PRINTER_SUBJECT, true, PART_SENT, ".", ASK_IF_AGAIN},
    // A short write sets no error: the one standing may be an earlier call's.
    {"QV113", 0, MB_ICONERROR, PRINTER_SUBJECT, false, PART_SENT, ".", ASK_IF_AGAIN},
    {"QV114", 0, MB_ICONERROR, PRINTER_SUBJECT, true, NOT_FINISHED, " could not be finished.",
     "If no label comes out, open the label again."},
    {"QV115", 0, MB_ICONERROR, PRINTER_SUBJECT, true, NOT_FINISHED, " could not be finished.",
     "If no label comes out, open the label again."},
    {"QV117", 0, MB_ICONWARNING, PRINTER_SUBJECT, false,
     "The label is waiting in the printer queue: the printer ",
     " is set to \"Use Printer Offline\".",
     "To print it, open the printer's queue (Settings, Printers) and untick \"Use Printer "
     "Offline\" in its Printer menu."},
    {"QV118", 0, MB_ICONWARNING, PRINTER_SUBJECT, false,
     "The label is waiting in the printer queue: printing is paused for ", ".",
     "To print it, open the printer's queue (Settings, Printers) and untick \"Pause Printing\" "
     "in its Printer menu."},
    {"QV119", 0, MB_ICONWARNING, PRINTER_SUBJECT, false, WAITING_REPORTED, " offline.",
     "Switch the printer on and check its cable or network; the label prints when the printer "
     "is ready."},
    {"QV120", 0, MB_ICONWARNING, PRINTER_SUBJECT, false, WAITING_REPORTED, " out of paper.",
     "Load labels into the printer; the label prints when the printer is ready."},
    {"QV121", 0, MB_ICONWARNING, PRINTER_SUBJECT, false, WAITING_REPORTED, " in an error state.",
     "Check the printer's labels, ribbon and cover; the label prints when the printer is "
     "ready."},
    {"QV122", 0, MB_ICONWARNING, DRIVER_SUBJECT, false,
     "The label will not come out of a label printer: Windows' driver ",
     " passes no labels on to a printer.",
     "Ask whoever looks after this computer to choose the label printer in Quvara setup, with "
     "the label printer's own driver."},
};

// Appends the first length bytes of text, or what fits of them: the notice always ends
// inside its buffer.
static void AppendBytes(char* notice, const char* text, size_t length)
{
    size_t used = strlen(notice);
    length = std::min(length, NOTICE_SIZE - 1 - used);
    memcpy(notice + used, text, length);
    notice[used + length] = '\0';
}

static void AppendText(char* notice, const char* text)
{
    AppendBytes(notice, text, strlen(text));
}

// Windows' own words for the error, on a line of their own, cut so that what to do
// still fits after them.
static void AppendSystemText(char* notice, DWORD errorCode)
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

static void BuildNotice(const NoticeText* text, const char* filePath, char* notice)
{
    notice[0] = '\0';
    AppendText(notice, text->opening);
    if (text->subject != NO_SUBJECT) {
        AppendText(notice, "\"");
        AppendText(notice, text->subject == PRINTER_SUBJECT  ? g_printerName
                           : text->subject == DRIVER_SUBJECT ? g_printerDriver
                                                             : filePath);
        AppendText(notice, "\"");
    }
    AppendText(notice, text->closing);
    AppendText(notice, "\r\n");
    if (text->systemText && g_noticeError != 0)
        AppendSystemText(notice, g_noticeError);
    AppendText(notice, text->advice);
    AppendText(notice, "\r\n\r\nEvent ");
    AppendText(notice, text->eventCode);
    AppendText(notice, ".");
    if (g_logPath[0] != '\0') {
        AppendText(notice, " Details: ");
        AppendText(notice, g_logPath);
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

void ReportLabelEvent(const char* labelFile)
{
    const NoticeText* text = FindNoticeText();
    if (text == NULL)
        return;
    HANDLE source = RegisterEventSourceA(NULL, "Quvara");
    if (source == NULL)
        return;
    // "QV105" is event 105; the message table has a message for each code above.
    DWORD id = (DWORD)strtol(text->eventCode + 2, NULL, 10);
    WORD type = text->icon == MB_ICONWARNING ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE;
    LPCSTR strings[5] = {labelFile, g_printerName, g_logLines, g_printerDriver, g_printerPort};
    ReportEventA(source, type, 0, id, NULL, 5, 0, strings, NULL);
    DeregisterEventSource(source);
}

void ShowNotice(const char* filePath)
{
    // g_notify is only ever read in a run with a file.
    if (g_notify != 1)
        return;
    const NoticeText* text = FindNoticeText();
    if (text == NULL)
        return;
    char notice[NOTICE_SIZE];
    BuildNotice(text, filePath, notice);

    // While another copy's notice is open this one's event is in the log only. A guard
    // that cannot be had does not silence the notice.
    HANDLE guard = CreateMutexA(NULL, TRUE, NOTICE_GUARD_NAME);
    int otherNoticeOpen = guard != NULL && GetLastError() == ERROR_ALREADY_EXISTS;
    if (!otherNoticeOpen)
        MessageBoxA(NULL, notice, "Quvara", MB_OK | text->icon | MB_TOPMOST | MB_SETFOREGROUND);
    if (guard != NULL && !otherNoticeOpen)
        ReleaseMutex(guard);
    if (guard != NULL)
        CloseHandle(guard);
}
