// Any command line: the argument text is found, unquoted and printed, or refused.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FreshWorld();
    fake::World& world = fake::TheWorld();
    fake::SetRegistryString(kSettingsKey, "Printer", "Zebra");
    world.printers.insert("Zebra");
    world.commandLine.assign((const char*)data, size);
    char startupArguments[] = "";

    WinMain((HINSTANCE)0x400000, NULL, startupArguments, SW_SHOWNORMAL);

    CheckRun();
    // Only a whole path is printed from.
    for (const fake::Job& job : world.jobs)
        if (job.documentName.size() >= TEXT_BUFFER_SIZE)
            abort();
    return 0;
}
