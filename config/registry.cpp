#include "config/registry.h"

#include <cstring>

#include "app/globals.h"
#include "app/log.h"

const char SETTINGS_KEY[] = "Software\\Pellander\\Quvara";
const char PRINTER_VALUE[] = "Printer";
static const char NOTIFY_VALUE[] = "Notify";

int ReadRegistryValue(HKEY root, const char* subKey, const char* valueName, char* buffer)
{
    LogEvent(0, "QV029", "Opening registry key");
    LogEvent(0, "QV030", subKey);

    HKEY key = NULL;
    LONG result = RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &key);
    if (result != ERROR_SUCCESS) {
        LogEvent((DWORD)result, "QV031", "Failed to open key");
        return 0;
    }

    LogEvent(0, "QV032", "Reading registry value");
    LogEvent(0, "QV033", valueName);

    // The type is not looked at: whatever bytes are stored become the text. The
    // registry does not terminate what it hands back, so a value that fills the
    // whole buffer without a zero of its own is as unusable as a longer one.
    DWORD size = TEXT_BUFFER_SIZE;
    result = RegQueryValueExA(key, valueName, NULL, NULL, (BYTE*)buffer, &size);
    if (result == ERROR_SUCCESS) {
        if (size < TEXT_BUFFER_SIZE)
            buffer[size] = '\0';
        else if (buffer[TEXT_BUFFER_SIZE - 1] != '\0')
            result = ERROR_MORE_DATA;
    }

    int ok = 1;
    if (result != ERROR_SUCCESS) {
        LogEvent((DWORD)result, "QV034", "Failed to read value");
        ok = 0;
    }
    RegCloseKey(key);
    return ok;
}

int WriteRegistryValue(HKEY root, const char* subKey, const char* valueName, DWORD type,
                       const BYTE* data, DWORD size)
{
    LogEvent(0, "QV035", "Creating registry key");
    LogEvent(0, "QV036", subKey);

    HKEY key = NULL;
    LONG result = RegCreateKeyExA(root, subKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                                  KEY_CREATE_SUB_KEY | KEY_SET_VALUE, NULL, &key, NULL);
    // A failure leaves its code as the last error too, for a caller that reports it.
    if (result != ERROR_SUCCESS) {
        LogEvent((DWORD)result, "QV037", "Failed to create key");
        SetLastError((DWORD)result);
        return 0;
    }

    LogEvent(0, "QV038", "Writing registry value");
    LogEvent(0, "QV039", valueName);

    int ok = 1;
    result = RegSetValueExA(key, valueName, 0, type, data, size);
    if (result != ERROR_SUCCESS) {
        LogEvent((DWORD)result, "QV040", "Failed to write value");
        ok = 0;
    }
    RegCloseKey(key);
    if (!ok)
        SetLastError((DWORD)result);
    return ok;
}

int LoadConfiguredPrinter()
{
    LogEvent(0, "QV017", "Get previously configured printer");
    memset(g_printerName, 0, sizeof(g_printerName));

    int ok = ReadRegistryValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, PRINTER_VALUE, g_printerName);
    if (!ok) {
        // A failed query may have left part of a value behind.
        memset(g_printerName, 0, sizeof(g_printerName));
        LogEvent(0, "QV018", "No printer configured");
    }

    LogEvent(0, "QV019", g_printerName);
    return ok;
}

int ReadNotifyOption()
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof(value);
    LONG result = RegQueryValueExA(key, NOTIFY_VALUE, NULL, &type, (BYTE*)&value, &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) && value == 1;
}
