#include "app/log.h"

#include <cstring>

#include "app/globals.h"
#include "app/wide_text.h"

static const char LOG_FILE_NAME[] = "QuvaraLog.txt";

// Message texts in the user's default language.
static const DWORD USER_DEFAULT_LANGUAGE = 0x400;

void OpenLog()
{
    g_logFile = INVALID_HANDLE_VALUE;
    memset(g_logPath, 0, sizeof(g_logPath));
    memset(g_logLines, 0, sizeof(g_logLines));

    char path[TEXT_BUFFER_SIZE];
    memset(path, 0, sizeof(path));
    DWORD length = GetTempPathA(sizeof(path), path);

    // A folder that does not fit makes the platform return the size it needs and
    // leave the buffer empty; appending the name then would put the log in the
    // current folder. Without room for the name too, there is no log this run.
    if (length == 0 || length + sizeof(LOG_FILE_NAME) > sizeof(path))
        return;

    // A folder the code page cannot spell ("C:\Users\Łukasz\...") arrives best-fitted, a
    // folder that does not exist: the log is then made by the folder's wide name.
    WCHAR widePath[TEXT_BUFFER_SIZE];
    memset(widePath, 0, sizeof(widePath));
    DWORD wideLength = GetTempPathW(TEXT_BUFFER_SIZE, widePath);
    bool byWideName = wideLength != 0 && wideLength + sizeof(LOG_FILE_NAME) <= TEXT_BUFFER_SIZE &&
                      !IsExactText(path, widePath);
    memcpy(path + length, LOG_FILE_NAME, sizeof(LOG_FILE_NAME));

    // No sharing: a second copy running at the same time goes without a log
    // rather than interleaving its entries with ours.
    if (byWideName) {
        for (size_t i = 0; i < sizeof(LOG_FILE_NAME); ++i)
            widePath[wideLength + i] = (WCHAR)LOG_FILE_NAME[i];
        g_logFile = CreateFileW(widePath, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    } else {
        g_logFile = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    }
    // A notice names it after the log is closed.
    if (g_logFile != INVALID_HANDLE_VALUE && byWideName)
        memcpy(g_logPath, widePath, sizeof(widePath));
    else if (g_logFile != INVALID_HANDLE_VALUE)
        AnsiToWide(path, g_logPath, TEXT_BUFFER_SIZE);
}

void CloseLog()
{
    if (g_logFile != INVALID_HANDLE_VALUE)
        CloseHandle(g_logFile);
    g_logFile = INVALID_HANDLE_VALUE;
}

// Kept in memory too, as far as it fits: by the time a failed label is reported the
// file may be another run's, or there may be none.
static void WriteLogText(const char* text)
{
    size_t kept = strlen(g_logLines);
    size_t length = strlen(text);
    size_t taken = length < LOG_LINES_SIZE - 1 - kept ? length : LOG_LINES_SIZE - 1 - kept;
    memcpy(g_logLines + kept, text, taken);
    g_logLines[kept + taken] = '\0';

    DWORD written = 0;
    if (g_logFile != INVALID_HANDLE_VALUE)
        WriteFile(g_logFile, text, (DWORD)length, &written, NULL);
}

void LogEvent(DWORD errorCode, const char* eventCode, const char* text)
{
    WriteLogText(eventCode);
    WriteLogText(": ");
    WriteLogText(text);

    if (errorCode != 0) {
        char* systemText = LoadSystemText(errorCode);
        // The second line starts even when the system has no text for the code.
        WriteLogText("\r\n\t");
        if (systemText != NULL) {
            WriteLogText(systemText);
            LocalFree(systemText);
        }
    }

    WriteLogText("\r\n");
}

char* LoadSystemText(DWORD errorCode)
{
    char* text = NULL;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  NULL, errorCode, USER_DEFAULT_LANGUAGE, (LPSTR)&text, 0, NULL);
    // A failed call allocates nothing; an empty text is as good as none.
    return length != 0 ? text : NULL;
}

size_t ShownTextLength(const char* systemText, size_t most)
{
    size_t length = 0;
    while (length < most && systemText[length] != '\0')
        ++length;
    while (length > 0 && (systemText[length - 1] == '\r' || systemText[length - 1] == '\n'))
        --length;
    return length;
}
