#include "app/globals.h"

HINSTANCE g_instance = NULL;
OSVERSIONINFOA g_versionInfo;
HANDLE g_logFile = INVALID_HANDLE_VALUE;
char g_printerName[TEXT_BUFFER_SIZE];
HWND g_dialog = NULL;
BYTE g_transferBuffer[TRANSFER_CHUNK_SIZE];
