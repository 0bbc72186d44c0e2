// Any printer listings and saved name: the saved printer is preselected (the last equal
// name), and a name taken from the list fits the name buffer or is refused.
#include "res/resource.h"
#include "fuzz_support.h"
#include "ui/config_dialog.h"
#include "ui/printer_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    FreshWorld();
    fake::World& world = fake::TheWorld();
    // Byte 0: the number of local printers (low 4 bits), remote ones wanted (bit 4), Windows
    // 95/98/Me (bit 5); byte 1: which local printers are the default; byte 2: the entry the
    // user selects (0xFF: keep the preselection). The rest: names split at zero bytes, the
    // saved one first, then the local printers, then the remote ones.
    size_t localCount = data[0] & 0x0F;
    int includeRemote = (data[0] >> 4) & 1;
    if (data[0] & 0x20)
        g_versionInfo.dwPlatformId = VER_PLATFORM_WIN32_WINDOWS;
    std::vector<std::string> names(1);
    for (size_t i = 3; i < size; ++i) {
        if (data[i] == 0)
            names.emplace_back();
        else
            names.back() += (char)data[i];
    }
    fake::SetRegistryString(kSettingsKey, "Printer", names[0]);
    for (size_t i = 1; i < names.size(); ++i) {
        if (i <= localCount)
            world.localPrinters.push_back(
                {names[i], (data[1] >> (i % 8)) & 1 ? (DWORD)PRINTER_ATTRIBUTE_DEFAULT : 0});
        else
            world.remotePrinters.push_back(names[i]);
    }
    world.dialog = g_dialog = (HWND)0xD1A106;
    fake::Control& list = world.controls[IDC_PRINTER_LIST];

    FillPrinterList(includeRemote);

    // A listing with nothing in it ends the fill before anything is selected.
    bool filled = !world.localPrinters.empty() && !(includeRemote && world.remotePrinters.empty());
    if (g_versionInfo.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        int expected = -1;
        for (size_t i = 0; filled && i < list.entries.size(); ++i)
            if (list.entries[i] == g_printerName)
                expected = (int)i;
        if (list.selection != expected)
            abort();
    }
    if (data[2] != 0xFF)
        list.selection = data[2] < list.entries.size() ? data[2] : -1;
    std::string before = g_printerName;
    int taken = GetSelectedPrinter();
    if (taken ? g_printerName != list.entries[list.selection] : g_printerName != before)
        abort();
    CheckRun();
    return 0;
}
