// Entry point: print the file named on the command line, or show the setup dialog.
#include <windows.h>

#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/notice.h"
#include "app/wide_text.h"
#include "config/registry.h"
#include "print/raw_print.h"
#include "res/resource.h"
#include "ui/config_dialog.h"

// Bytes and UTF-16 units alike compare as unsigned codes: the C runtime's start-up takes
// every byte above 127 for a blank, which cuts names such as "C:\Drücker\Quvara.exe" or
// "Étiquette.zpl" apart.
static unsigned CodeOf(char c)
{
    return (unsigned char)c;
}

static unsigned CodeOf(WCHAR c)
{
    return c;
}

template <typename Char>
static size_t TextLength(const Char* text)
{
    size_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

// The command line less the program's name and the blanks after it.
template <typename Char>
static const Char* FindArgumentText(const Char* commandLine)
{
    bool quoted = false;
    while (*commandLine != 0 && (quoted || CodeOf(*commandLine) > ' ')) {
        if (*commandLine == '"')
            quoted = !quoted;
        ++commandLine;
    }
    while (*commandLine != 0 && CodeOf(*commandLine) <= ' ')
        ++commandLine;
    return commandLine;
}

// A path in quotes, as the shell passes it, loses its quotes; any other is taken as it
// is. Blanks at the end go first: a script or shortcut may leave one after the closing
// quote. Only a quote is dropped at the end: a path whose closing quote is missing keeps
// its last character, which would otherwise name another file ("x.zp" for "x.zpl").
template <typename Char>
static void UnquotePath(const Char* argumentText, Char* path)
{
    size_t end = TextLength(argumentText);
    while (end > 0 && CodeOf(argumentText[end - 1]) <= ' ')
        --end;
    size_t start = 0;
    if (end > 0 && argumentText[0] == '"') {
        start = 1;
        if (end > 1 && argumentText[end - 1] == '"')
            --end;
    }
    memcpy(path, argumentText + start, (end - start) * sizeof(Char));
    path[end - start] = 0;
}

// Command-line run: the argument text is one file path, quoted or not; widePath
// (TEXT_BUFFER_SIZE characters of zeros) receives it by its wide name.
static void PrintArgumentFile(const char* argumentText, const WCHAR* wideArgumentText,
                              WCHAR* widePath)
{
    g_notify = ReadNotifyOption();
    if (!LoadConfiguredPrinter()) {
        LogNoticeEvent(0, "QV001", "No printer configured");
        return;
    }

    LogEvent(0, "QV002", GetCommandLineA());
    LogEvent(0, "QV003", argumentText);

    // Cutting a path short could name another file; a path this long is refused.
    if (TextLength(argumentText) >= TEXT_BUFFER_SIZE ||
        TextLength(wideArgumentText) >= TEXT_BUFFER_SIZE) {
        LogNoticeEvent(ERROR_FILENAME_EXCED_RANGE, "QV041", "Path too long");
        return;
    }
    char path[TEXT_BUFFER_SIZE];
    UnquotePath(argumentText, path);
    UnquotePath(wideArgumentText, widePath);

    // The log and the queue show the ANSI name; the file opened is the one named, also
    // where the ANSI text best-fits its letters.
    bool exact = IsExactText(argumentText, wideArgumentText);
    PrintFileRaw(g_printerName, path, exact ? NULL : widePath);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previousInstance*/, LPSTR /*startupArguments*/,
                   int /*showCommand*/)
{
    memset(&g_versionInfo, 0, sizeof(g_versionInfo));
    g_versionInfo.dwOSVersionInfoSize = sizeof(g_versionInfo);
    GetVersionExA(&g_versionInfo);
    g_instance = instance;

    OpenLog();

    const char* argumentText = FindArgumentText(GetCommandLineA());
    if (argumentText[0] == '\0') {
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_CONFIG), NULL, ConfigDialogProc, 0);
        CloseLog();
        return 0;
    }
    WCHAR widePath[TEXT_BUFFER_SIZE];
    memset(widePath, 0, sizeof(widePath));
    const WCHAR* wideArgumentText = FindArgumentText(GetCommandLineW());
    PrintArgumentFile(argumentText, wideArgumentText, widePath);

    // The log first: it is opened without sharing, so while a notice is up every copy
    // started meanwhile would go without one, and the user may want to read it. The
    // event before the notice, which waits for a click. Both name the label by its wide
    // name: the ANSI one may name another file.
    CloseLog();
    ReportLabelEvent(widePath[0] != 0 ? widePath : wideArgumentText);
    ShowNotice(widePath);
    return 0;
}
