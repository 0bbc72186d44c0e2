/* The MSI package's custom actions (release/quvara.wxs). Built without any runtime, so
 * they add no third-party code. */
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>

/* The package's Program component, whose key path is the installed Quvara.exe. */
static const char programComponent[] = "{5DED3422-7D5B-48EC-9E58-E859882A471A}";

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

/* Whether file type TYPE opens files with COMMAND. */
static BOOL OpensWith(const char *type, const char *command)
{
    char key[64];
    char value[1024];
    LONG size = sizeof(value);
    lstrcpyA(key, type);
    lstrcatA(key, "\\Shell\\Open\\command");
    return RegQueryValueA(HKEY_CLASSES_ROOT, key, value, &size) == ERROR_SUCCESS &&
           lstrcmpiA(value, command) == 0;
}

/* Sets CONFIGURED when the label file types open the Quvara.exe of an installation of this
 * package: at an upgrade the earlier version's (whose set-up the upgrade then carries
 * over), at removal this one's (whose set-up then goes with it). Windows Installer removes
 * the Configuration component when it installed it, whatever its condition; Wine only
 * while the condition holds, and then also when it never installed it (it records a
 * component whose condition was false as installed), so the condition asks this. */
__declspec(dllexport) UINT WINAPI FindConfiguration(MSIHANDLE session)
{
    char product[400];
    char command[1024] = "\"";
    DWORD size = sizeof(product);
    DWORD pathSize = sizeof(command) - 8; /* room for the quotes and the placeholder */
    if (MsiGetPropertyA(session, "WIX_UPGRADE_DETECTED", product, &size) != ERROR_SUCCESS || !product[0]) {
        size = sizeof(product);
        if (MsiGetPropertyA(session, "ProductCode", product, &size) != ERROR_SUCCESS)
            return ERROR_SUCCESS;
    }
    product[38] = '\0'; /* the first product code of a list */
    if (MsiGetComponentPathA(product, programComponent, command + 1, &pathSize) == INSTALLSTATE_LOCAL) {
        lstrcatA(command, "\" \"%1\"");
        if (OpensWith("ZPLFile", command) || OpensWith("EPLFile", command))
            MsiSetPropertyA(session, "CONFIGURED", "1");
    }
    return ERROR_SUCCESS;
}

/* After the file types were written or removed: tell the shell, as the program's own OK
 * does. */
__declspec(dllexport) UINT WINAPI NotifyAssociationsChanged(MSIHANDLE session)
{
    (void)session;
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL);
    return ERROR_SUCCESS;
}
