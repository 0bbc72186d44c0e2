#include "config/save_configuration.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "config/registry.h"

// The shell's FTA_OpenIsSafe (0x00010000, little-endian): a browser may open a
// downloaded label of the type without a safety prompt.
static const BYTE OPEN_IS_SAFE[4] = {0x00, 0x00, 0x01, 0x00};

// What follows the quoted program path: the closing quote, a blank and the quoted
// placeholder the shell replaces with the opened file's path.
static const char OPEN_COMMAND_TAIL[] = "\" \"%1\"";

static void WriteText(HKEY root, const char* subKey, const char* valueName, const char* text)
{
    WriteRegistryValue(root, subKey, valueName, REG_SZ, (const BYTE*)text,
                       (DWORD)strlen(text) + 1);
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

    command[0] = '"';
    memcpy(command + 1, programPath, length);
    memcpy(command + 1 + length, OPEN_COMMAND_TAIL, sizeof(OPEN_COMMAND_TAIL));
    return 1;
}

int SaveConfiguration()
{
    LogEvent(0, "QV015", "Saving printer name");
    WriteText(HKEY_LOCAL_MACHINE, SETTINGS_KEY, PRINTER_VALUE, g_printerName);

    LogEvent(0, "QV016", "Creating file associations");
    WriteText(HKEY_CLASSES_ROOT, ".EPL", "", "EPLFile");
    WriteText(HKEY_CLASSES_ROOT, ".EPL2", "", "EPLFile");
    WriteText(HKEY_CLASSES_ROOT, "EPLFile", "", "EPL Label");
    WriteRegistryValue(HKEY_CLASSES_ROOT, "EPLFile", "EditFlags", REG_BINARY, OPEN_IS_SAFE,
                       sizeof(OPEN_IS_SAFE));
    WriteText(HKEY_CLASSES_ROOT, "EPLFile\\Shell", "", "Open");
    WriteText(HKEY_CLASSES_ROOT, ".ZPL", "", "ZPLFile");
    WriteText(HKEY_CLASSES_ROOT, "ZPLFile", "", "ZPL Label");
    WriteRegistryValue(HKEY_CLASSES_ROOT, "ZPLFile", "EditFlags", REG_BINARY, OPEN_IS_SAFE,
                       sizeof(OPEN_IS_SAFE));
    WriteText(HKEY_CLASSES_ROOT, "ZPLFile\\Shell", "", "Open");

    // Without a whole program path the open commands are left as they are; the
    // other values are still written.
    char command[TEXT_BUFFER_SIZE];
    int haveCommand = BuildOpenCommand(command);
    if (haveCommand)
        WriteText(HKEY_CLASSES_ROOT, "EPLFile\\Shell\\Open\\command", "", command);
    WriteText(HKEY_CLASSES_ROOT, "MIME\\Database\\Content Type\\application/x-epl", "Extension",
              ".epl");
    WriteText(HKEY_CLASSES_ROOT, "MIME\\Database\\Content Type\\application/x-epl2", "Extension",
              ".epl2");
    if (haveCommand)
        WriteText(HKEY_CLASSES_ROOT, "ZPLFile\\Shell\\Open\\command", "", command);
    WriteText(HKEY_CLASSES_ROOT, "MIME\\Database\\Content Type\\application/x-zpl", "Extension",
              ".zpl");

    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL);
    return 1;
}
