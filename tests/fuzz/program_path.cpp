// Any path of the executable: the open commands hold it whole and quoted, or are not written.
#include "config/save_configuration.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FreshWorld();
    std::string path;
    for (size_t i = 0; i < size; ++i)
        if (data[i] != 0)  // no path holds a zero byte
            path += (char)data[i];
    fake::TheWorld().modulePath = path;
    strcpy(g_printerName, "Zebra");

    SaveConfiguration();

    std::string command = "\"" + path + "\" \"%1\"";
    fake::Bytes whole(command.begin(), command.end());
    whole.push_back(0);
    bool fits = !path.empty() && path.size() <= 492;
    for (const char* key : {"HKLM\\Software\\Classes\\EPLFile\\Shell\\Open\\command",
                            "HKLM\\Software\\Classes\\ZPLFile\\Shell\\Open\\command"}) {
        const fake::RegistryValue* value = fake::FindRegistryValue(key, "");
        if (fits ? value == nullptr || value->data != whole : value != nullptr)
            abort();
    }
    CheckRun();
    return 0;
}
