// Entry point: print the file named on the command line, or show the setup dialog.
#include <windows.h>

#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/notice.h"
#include "config/registry.h"
#include "print/raw_print.h"
#include "res/resource.h"
#include "ui/config_dialog.h"

// The shell passes the path quoted: drop the first and the last character. An
// argument that is a lone quote names no file and leaves the path empty.
static void UnquotePath(const char* argumentText, char* path)
{
    size_t length = strlen(argumentText);
    if (length < 2) {
        path[0] = '\0';
        return;
    }
    memcpy(path, argumentText + 1, length - 2);
    path[length - 2] = '\0';
}

// Command-line run: the argument text is one file path, quoted or not; path
// (TEXT_BUFFER_SIZE bytes of zeros) receives it as printed from.
static void PrintArgumentFile(const char* argumentText, char* path)
{
    g_notify = ReadNotifyOption();
    if (!LoadConfiguredPrinter()) {
        LogNoticeEvent(0, "QV001", "No printer configured");
        return;
    }

    LogEvent(0, "QV002", GetCommandLineA());
    LogEvent(0, "QV003", argumentText);

    size_t length = strlen(argumentText);
    // Cutting a path short could name another file; a path this long is refused.
    if (length >= TEXT_BUFFER_SIZE) {
        LogNoticeEvent(ERROR_FILENAME_EXCED_RANGE, "QV041", "Path too long");
        return;
    }
    if (argumentText[0] == '"')
        UnquotePath(argumentText, path);
    else
        memcpy(path, argumentText, length + 1);

    PrintFileRaw(g_printerName, path);
}

// The command line less the program's name and the blanks after it. Bytes are compared
// unsigned: the C runtime's start-up takes every byte above 127 for a blank, which cuts
// names such as "C:\Drücker\Quvara.exe" or "Étiquette.zpl" apart.
static const char* FindArgumentText(const char* commandLine)
{
    const unsigned char* at = (const unsigned char*)commandLine;
    bool quoted = false;
    while (*at != '\0' && (quoted || *at > ' ')) {
        if (*at == '"')
            quoted = !quoted;
        ++at;
    }
    while (*at != '\0' && *at <= ' ')
        ++at;
    return (const char*)at;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previousInstance*/, LPSTR /*startupArguments*/,
                   int /*showCommand*/)
{
    memset(&g_versionInfo, 0, sizeof(g_versionInfo));
    g_versionInfo.dwOSVersionInfoSize = sizeof(g_versionInfo);
    GetVersionExA(&g_versionInfo);
    g_instance = instance;

    OpenLog();

    char path[TEXT_BUFFER_SIZE];
    memset(path, 0, sizeof(path));
    const char* argumentText = FindArgumentText(GetCommandLineA());
    if (argumentText[0] == '\0')
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_CONFIG), NULL, ConfigDialogProc, 0);
    else
        PrintArgumentFile(argumentText, path);

    // The log first: it is opened without sharing, so while a notice is up every copy
    // started meanwhile would go without one, and the user may want to read it.
    CloseLog();
    ShowNotice(path);
    return 0;
}
