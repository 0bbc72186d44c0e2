#include "app/event_log.h"

#include <windows.h>

#include <cstdlib>

#include "app/globals.h"

// The first code that stops a label in the queue rather than before it (QV117 on).
static const int FIRST_WAITING_CODE = 117;

void ReportLabelEvent(const char* labelFile)
{
    if (g_noticeEvent == NULL)
        return;
    // "QV105" is event 105; the message table has one message for each.
    int code = (int)strtol(g_noticeEvent + 2, NULL, 10);
    WORD type = code >= FIRST_WAITING_CODE ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE;

    HANDLE source = RegisterEventSourceA(NULL, "Quvara");
    if (source == NULL)
        return;
    LPCSTR strings[3] = {labelFile, g_printerName, g_logLines};
    ReportEventA(source, type, 0, (DWORD)code, NULL, 3, 0, strings, NULL);
    DeregisterEventSource(source);
}
