#include "config/save_configuration.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/wide_text.h"
#include "config/registry.h"

// The shell's FTA_OpenIsSafe (0x00010000, little-endian): a browser may open a
// downloaded label of the type without a safety prompt.
static const BYTE OPEN_IS_SAFE[4] = {0x00, 0x00, 0x01, 0x00};

// What follows the quoted program path: the closing quote, a blank and the quoted
// placeholder the shell replaces with the opened file's path.
static const char OPEN_COMMAND_TAIL[] = "\" \"%1\"";

// What the user reads when Windows refused a write, around Windows' reason.
static const char NOT_SAVED[] = "The settings were not saved.\r\n\r\n";
static const char RUN_AS_ADMINISTRATOR[] =
    "\r\nStart Quvara setup as an administrator (right-click it, \"Run as administrator\") "
    "and press OK again.";
static_assert(sizeof(NOT_SAVED) + sizeof(RUN_AS_ADMINISTRATOR) < TEXT_BUFFER_SIZE,
              "room for some of Windows' reason");

// Writes one value; the first write that fails leaves its error code in firstError.
static void WriteValue(DWORD* firstError, HKEY root, const char* subKey, const char* valueName,
                       DWORD type, const BYTE* data, DWORD size)
{
    if (!WriteRegistryValue(root, subKey, valueName, type, data, size) && *firstError == 0)
        *firstError = GetLastError();
}

static void WriteText(DWORD* firstError, HKEY root, const char* subKey, const char* valueName,
                      const char* text)
{
    WriteValue(firstError, root, subKey, valueName, REG_SZ, (const BYTE*)text,
               (DWORD)strlen(text) + 1);
}

// Without administrator rights Windows refuses the writes; the log alone would let
// the user believe labels now print. The reason is cut where it does not fit.
static void ShowNotSaved(DWORD error)
{
    char text[TEXT_BUFFER_SIZE];
    memset(text, 0, sizeof(text));
    memcpy(text, NOT_SAVED, sizeof(NOT_SAVED) - 1);
    size_t length = sizeof(NOT_SAVED) - 1;

    char* reason = LoadSystemText(error);
    if (reason != NULL) {
        // The system's own line break is dropped; ours follows.
        size_t taken =
            ShownTextLength(reason, sizeof(text) - length - sizeof(RUN_AS_ADMINISTRATOR));
        memcpy(text + length, reason, taken);
        length += taken;
        LocalFree(reason);
    }

    memcpy(text + length, RUN_AS_ADMINISTRATOR, sizeof(RUN_AS_ADMINISTRATOR));
    MessageBoxA(g_dialog, text, "Quvara", MB_OK | MB_ICONERROR);
}

// Without open commands, label files do not open with this copy of Quvara: saying
// nothing would let the user believe they now print.
static void ShowNoOpenCommand()
{
    MessageBoxA(g_dialog,
                "Label files will not open with Quvara: the name of its folder is too long, or "
                "has letters Windows cannot pass to Quvara on this computer.\r\n\r\nPut Quvara "
                "in a folder with a shorter name in plain letters, such as one under Program "
                "Files, and run its setup again.",
                "Quvara", MB_OK | MB_ICONERROR);
}

// Builds "<program path>" "%1" into command (TEXT_BUFFER_SIZE bytes). 0 when the path
// cannot be had whole: an open command naming a cut-off path would start nothing, or
// the wrong program, for every label the user opens.
static int BuildOpenCommand(char* command)
{
    char programPath[TEXT_BUFFER_SIZE];
    memset(programPath, 0, sizeof(programPath));
    memset(command, 0, TEXT_BUFFER_SIZE);

    DWORD length = GetModuleFileNameA(NULL, programPath, sizeof(programPath));
    if (length == 0) {
        LogEvent(GetLastError(), "QV043", "Can't build the open command");
        return 0;
    }
    // A path cut short fills the whole buffer, so this refuses it too.
    if (1 + length + sizeof(OPEN_COMMAND_TAIL) > TEXT_BUFFER_SIZE) {
        LogEvent(ERROR_FILENAME_EXCED_RANGE, "QV043", "Can't build the open command");
        return 0;
    }

    // A path the code page cannot spell is best-fitted ("C:\Users\Lukasz" for "Łukasz"):
    // a command naming it would start nothing.
    WCHAR wideProgramPath[TEXT_BUFFER_SIZE];
    memset(wideProgramPath, 0, sizeof(wideProgramPath));
    DWORD wideLength = GetModuleFileNameW(NULL, wideProgramPath, TEXT_BUFFER_SIZE);
    if (wideLength == 0 || wideLength >= TEXT_BUFFER_SIZE ||
        !IsExactText(programPath, wideProgramPath)) {
        LogEvent(ERROR_NO_UNICODE_TRANSLATION, "QV043", "Can't build the open command");
        return 0;
    }

    command[0] = '"';
    memcpy(command + 1, programPath, length);
    memcpy(command + 1 + length, OPEN_COMMAND_TAIL, sizeof(OPEN_COMMAND_TAIL));
    return 1;
}

// The machine's file types, by name. Writes through HKEY_CLASSES_ROOT go to the user's own
// classes wherever a key is there already, which would set up one account only. Whoever
// may not write there still gets a key to read through: each write is then refused,
// and logged, as Windows refuses it.
static HKEY OpenMachineClasses()
{
    HKEY classes = NULL;
    LONG result =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes", 0, KEY_CREATE_SUB_KEY, &classes);
    if (result != ERROR_SUCCESS)
        result =
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes", 0, KEY_QUERY_VALUE, &classes);
    return result == ERROR_SUCCESS ? classes : NULL;
}

int SaveConfiguration()
{
    DWORD firstError = 0;
    LogEvent(0, "QV015", "Saving printer name");
    WriteText(&firstError, HKEY_LOCAL_MACHINE, SETTINGS_KEY, PRINTER_VALUE, g_printerName);

    LogEvent(0, "QV016", "Creating file associations");
    HKEY classes = OpenMachineClasses();
    WriteText(&firstError, classes, ".EPL", "", "EPLFile");
    WriteText(&firstError, classes, ".EPL2", "", "EPLFile");
    WriteText(&firstError, classes, "EPLFile", "", "EPL Label");
    WriteValue(&firstError, classes, "EPLFile", "EditFlags", REG_BINARY, OPEN_IS_SAFE,
               sizeof(OPEN_IS_SAFE));
    WriteText(&firstError, classes, "EPLFile\\Shell", "", "Open");
    WriteText(&firstError, classes, ".ZPL", "", "ZPLFile");
    WriteText(&firstError, classes, "ZPLFile", "", "ZPL Label");
    WriteValue(&firstError, classes, "ZPLFile", "EditFlags", REG_BINARY, OPEN_IS_SAFE,
               sizeof(OPEN_IS_SAFE));
    WriteText(&firstError, classes, "ZPLFile\\Shell", "", "Open");

    // Without a whole program path the open commands are left as they are; the
    // other values are still written.
    char command[TEXT_BUFFER_SIZE];
    int haveCommand = BuildOpenCommand(command);
    if (haveCommand)
        WriteText(&firstError, classes, "EPLFile\\Shell\\Open\\command", "", command);
    WriteText(&firstError, classes, "MIME\\Database\\Content Type\\application/x-epl",
              "Extension", ".epl");
    WriteText(&firstError, classes, "MIME\\Database\\Content Type\\application/x-epl2",
              "Extension", ".epl2");
    if (haveCommand)
        WriteText(&firstError, classes, "ZPLFile\\Shell\\Open\\command", "", command);
    WriteText(&firstError, classes, "MIME\\Database\\Content Type\\application/x-zpl",
              "Extension", ".zpl");

    if (classes != NULL)
        RegCloseKey(classes);

    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL);
    if (firstError != 0)
        ShowNotSaved(firstError);
    else if (!haveCommand)
        ShowNoOpenCommand();
    return 1;
}
