#include "app/globals.h"

HINSTANCE g_instance = NULL;
OSVERSIONINFOA g_versionInfo;
HANDLE g_logFile = INVALID_HANDLE_VALUE;
char g_printerName[TEXT_BUFFER_SIZE];
HWND g_dialog = NULL;
BYTE g_transferBuffer[TRANSFER_CHUNK_SIZE];
int g_notify = 0;
const char* g_noticeEvent = NULL;
DWORD g_noticeError = 0;
char g_printerDriver[TEXT_BUFFER_SIZE];
char g_printerPort[TEXT_BUFFER_SIZE];
int g_driverPassesNoLabels = 0;
char g_discardingPort[PORT_NAME_SIZE];
WCHAR g_logPath[TEXT_BUFFER_SIZE];
char g_logLines[LOG_LINES_SIZE];
