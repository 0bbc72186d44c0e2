// Any stored "Printer" value, of any type: loaded as a terminated name or not at all,
// saved back whole, and read as a printer address with a host it holds and a port it allows.
#include "config/registry.h"
#include "config/save_configuration.h"
#include "fuzz_support.h"
#include "print/address_print.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    FreshWorld();
    fake::TheWorld().modulePath = "C:\\Quvara\\Quvara.exe";
    // Byte 0: the type (REG_NONE to REG_QWORD); the rest: the stored bytes.
    fake::SetRegistryValue(kSettingsKey, "Printer", data[0] % 12, fake::Bytes(data + 1, data + size));

    int loaded = LoadConfiguredPrinter();
    size_t length = strnlen(g_printerName, sizeof(g_printerName));
    if (length == sizeof(g_printerName) || (!loaded && length != 0))
        abort();
    char host[HOST_SIZE], port[PORT_SIZE];
    if (ParsePrinterAddress(g_printerName, host, port) &&
        (strstr(g_printerName, host) == nullptr || atol(port) < 1 || atol(port) > 65535))
        abort();
    SaveConfiguration();

    const fake::RegistryValue* saved = fake::FindRegistryValue(kSettingsKey, "Printer");
    if (saved == nullptr || saved->data != fake::Bytes(g_printerName, g_printerName + length + 1))
        abort();
    CheckRun();
    return 0;
}
