// Shared by the fuzz targets: a fresh stand-in world for every input, whose files live
// in one folder, and the checks every run must pass.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/globals.h"
#include "win32_fake.h"

const char kSettingsKey[] = "HKLM\\Software\\Pellander\\Quvara";

// Files are opened by relative paths only, in a folder of the target's own that holds
// two labels (label.zpl, label.epl): fuzzed paths can name those and nothing else.
inline void FreshWorld()
{
    static bool inFolder = false;
    if (!inFolder) {
        // In memory where the system offers it: every run rewrites the log.
        char folder[] = "/dev/shm/quvara-fuzz-XXXXXX";
        if (access("/dev/shm", W_OK) != 0)
            memcpy(folder, "/tmp/quvara-fuzz-XXXXXX", sizeof("/tmp/quvara-fuzz-XXXXXX"));
        if (mkdtemp(folder) == nullptr || chdir(folder) != 0)
            abort();
        for (const char* name : {"label.zpl", "label.epl"}) {
            FILE* label = fopen(name, "wb");
            fputs("^XA^FO50,50^FDfuzz^FS^XZ\r\n", label);
            fclose(label);
        }
        inFolder = true;
    }
    fake::Reset();
    fake::TheWorld().tempPath = "./";
    fake::TheWorld().filesHereOnly = true;
    g_logFile = INVALID_HANDLE_VALUE;
    memset(g_printerName, 0, sizeof(g_printerName));
    g_dialog = NULL;
    g_versionInfo.dwPlatformId = VER_PLATFORM_WIN32_NT;
}

// Whatever the input: nothing is left open and the printer name ends inside its buffer.
inline void CheckRun()
{
    const fake::World& world = fake::TheWorld();
    if (world.openFiles != 0 || world.openKeys != 0 || world.openPrinters != 0 ||
        world.localAllocations != 0 || memchr(g_printerName, 0, sizeof(g_printerName)) == nullptr)
        abort();
}
