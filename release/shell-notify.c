/* The MSI package's one custom action: after the package has written or removed the
 * label file types, tell the shell that file associations changed, as the program's
 * own OK does. Built without any runtime, so it adds no third-party code. */
#include <windows.h>
#include <shlobj.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}

/* Windows Installer calls it with the session handle, which is not needed here. */
__declspec(dllexport) UINT WINAPI NotifyAssociationsChanged(ULONG session)
{
    (void)session;
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, NULL, NULL);
    return ERROR_SUCCESS;
}
