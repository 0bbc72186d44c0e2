// The registry operations and loading the saved printer.
#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "config/registry.h"
#include "test_support.h"

namespace {

const char kKey[] = "HKLM\\Software\\Pellander\\Quvara";

class SavedPrinter : public QuvaraTest {
protected:
    void SetUp() override
    {
        QuvaraTest::SetUp();
        OpenLog();
    }
};

std::string OpenAndQuery()
{
    return Join({Entry("QV017", "Get previously configured printer"),
                 Entry("QV029", "Opening registry key"),
                 Entry("QV030", "Software\\Pellander\\Quvara"),
                 Entry("QV032", "Reading registry value"), Entry("QV033", "Printer")});
}

struct LoadCase {
    const char* name;
    DWORD type;        // REG_NONE: no value at all; 0xFFFF: not even the key
    fake::Bytes data;
    int result;
    std::string printerName;
    std::string tail;  // entries after "QV033: Printer" (or after QV030 when the key is missing)
};

fake::Bytes Text(const std::string& text, bool terminated = true)
{
    fake::Bytes bytes(text.begin(), text.end());
    if (terminated)
        bytes.push_back(0);
    return bytes;
}

const std::string kName499(499, 'n');
const std::string kName500(500, 'n');

void PrintTo(const LoadCase& c, std::ostream* out)
{
    *out << c.name;
}

class LoadingTheSavedPrinter : public SavedPrinter,
                               public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadingTheSavedPrinter, YieldsATerminatedNameOrNothing)
{
    const LoadCase& c = GetParam();
    if (c.type == REG_NONE)
        fake::SetRegistryString(kKey, "Other", "x");
    else if (c.type != 0xFFFF)
        fake::SetRegistryValue(kKey, "Printer", c.type, c.data);
    memset(g_printerName, '#', sizeof(g_printerName));

    EXPECT_EQ(LoadConfiguredPrinter(), c.result);

    EXPECT_EQ(std::string(g_printerName), c.printerName);
    if (!c.result) {
        for (char byte : g_printerName)
            ASSERT_EQ(byte, 0) << "a failed load leaves the name all zeros";
    }
    std::string expected =
        c.type == 0xFFFF
            ? Join({Entry("QV017", "Get previously configured printer"),
                    Entry("QV029", "Opening registry key"),
                    Entry("QV030", "Software\\Pellander\\Quvara")}) + c.tail
            : OpenAndQuery() + c.tail;
    EXPECT_EQ(FinishLog(), expected);
    ExpectNothingLeftOpen();
}

const std::string kNotLoaded = Entry("QV018", "No printer configured") + Entry("QV019", "");

INSTANTIATE_TEST_SUITE_P(
    Values, LoadingTheSavedPrinter,
    ::testing::Values(
        LoadCase{"Saved", REG_SZ, Text("Zebra GK420d"), 1, "Zebra GK420d",
                 Entry("QV019", "Zebra GK420d")},
        LoadCase{"EmptyStringCountsAsSaved", REG_SZ, Text(""), 1, "", Entry("QV019", "")},
        LoadCase{"KeyMissing", 0xFFFF, {}, 0, "",
                 ErrorEntry("QV031", "Failed to open key", ERROR_FILE_NOT_FOUND) + kNotLoaded},
        LoadCase{"ValueMissing", REG_NONE, {}, 0, "",
                 ErrorEntry("QV034", "Failed to read value", ERROR_FILE_NOT_FOUND) + kNotLoaded},
        LoadCase{"LongestNameThatFits", REG_SZ, Text(kName499), 1, kName499,
                 Entry("QV019", kName499)},
        LoadCase{"NameOf500Characters", REG_SZ, Text(kName500), 0, "",
                 ErrorEntry("QV034", "Failed to read value", ERROR_MORE_DATA) + kNotLoaded},
        LoadCase{"Exactly500BytesWithoutTerminator", REG_SZ, Text(kName500, false), 0, "",
                 ErrorEntry("QV034", "Failed to read value", ERROR_MORE_DATA) + kNotLoaded},
        LoadCase{"UnterminatedShortString", REG_SZ, Text("Zebra", false), 1, "Zebra",
                 Entry("QV019", "Zebra")},
        LoadCase{"BinaryValueTakenAsBytes", REG_BINARY, Text("Label 2", false), 1, "Label 2",
                 Entry("QV019", "Label 2")},
        LoadCase{"NumberValueTakenAsBytes", REG_DWORD, {0x41, 0x42, 0, 0}, 1, "AB",
                 Entry("QV019", "AB")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SavedPrinter, KeyThatCannotBeOpenedLogsTheSystemsReason)
{
    fake::SetRegistryString(kKey, "Printer", "Zebra");
    fake::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED);

    EXPECT_EQ(LoadConfiguredPrinter(), 0);

    EXPECT_NE(FinishLog().find(ErrorEntry("QV031", "Failed to open key", ERROR_ACCESS_DENIED)),
              std::string::npos);
    EXPECT_EQ(fake::CountCalls("RegQueryValueExA"), 0);
    ExpectNothingLeftOpen();
}

TEST_F(SavedPrinter, ReadTerminatesWhatItReadsInAnUncleanBuffer)
{
    for (const std::string& stored : {std::string("abc"), kName499}) {
        fake::SetRegistryValue(kKey, "Printer", REG_BINARY, Text(stored, false));
        char buffer[500];
        memset(buffer, 'z', sizeof(buffer));

        EXPECT_EQ(ReadRegistryValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "Printer", buffer), 1);

        EXPECT_EQ(std::string(buffer), stored);
    }
}

class RegistryWrite : public SavedPrinter {};

TEST_F(RegistryWrite, CreatesTheKeyWithItsParentsAndLogsEachStep)
{
    const BYTE flags[] = {0x00, 0x00, 0x01, 0x00};

    EXPECT_EQ(WriteRegistryValue(HKEY_CLASSES_ROOT, "ZPLFile", "EditFlags", REG_BINARY, flags, 4),
              1);
    EXPECT_EQ(WriteRegistryValue(HKEY_CLASSES_ROOT, "ZPLFile\\Shell\\Open\\command", "", REG_SZ,
                                 (const BYTE*)"cmd", 4),
              1);

    const fake::RegistryValue* editFlags =
        fake::FindRegistryValue("HKLM\\Software\\Classes\\ZPLFile", "EditFlags");
    ASSERT_NE(editFlags, nullptr);
    EXPECT_EQ(editFlags->type, (DWORD)REG_BINARY);
    EXPECT_EQ(editFlags->data, fake::Bytes(flags, flags + 4));
    const fake::RegistryValue* command =
        fake::FindRegistryValue("HKLM\\Software\\Classes\\ZPLFile\\Shell\\Open\\command", "");
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->data, Text("cmd"));
    EXPECT_TRUE(world().registry.count("HKLM\\Software\\Classes\\ZPLFile\\Shell"));
    EXPECT_EQ(FinishLog(),
              Join({Entry("QV035", "Creating registry key"), Entry("QV036", "ZPLFile"),
                    Entry("QV038", "Writing registry value"), Entry("QV039", "EditFlags"),
                    Entry("QV035", "Creating registry key"),
                    Entry("QV036", "ZPLFile\\Shell\\Open\\command"),
                    Entry("QV038", "Writing registry value"), Entry("QV039", "")}));
    ExpectNothingLeftOpen();
}

TEST_F(RegistryWrite, OverwritesTheValueAndLeavesTheOthersAlone)
{
    fake::SetRegistryString(kKey, "Printer", "Old printer");
    fake::SetRegistryString(kKey, "Other", "kept");

    EXPECT_EQ(WriteRegistryValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, "Printer", REG_SZ,
                                 (const BYTE*)"New", 4),
              1);

    EXPECT_EQ(fake::FindRegistryValue(kKey, "Printer")->data, Text("New"));
    EXPECT_EQ(fake::FindRegistryValue(kKey, "Other")->data, Text("kept"));
    EXPECT_EQ(world().registry.at(kKey).values.size(), 2u);
}

TEST_F(RegistryWrite, SavedNameLoadsBackUnchanged)
{
    std::string name = "\\\\server\\Zebra ZT410 (bench 3)";
    EXPECT_EQ(WriteRegistryValue(HKEY_LOCAL_MACHINE, SETTINGS_KEY, PRINTER_VALUE, REG_SZ,
                                 (const BYTE*)name.c_str(), (DWORD)name.size() + 1),
              1);
    EXPECT_EQ(LoadConfiguredPrinter(), 1);
    EXPECT_EQ(std::string(g_printerName), name);
}

TEST_F(RegistryWrite, KeyThatCannotBeCreatedIsNotWritten)
{
    fake::FailCall("RegCreateKeyExA", ERROR_ACCESS_DENIED);

    EXPECT_EQ(WriteRegistryValue(HKEY_CLASSES_ROOT, ".ZPL", "", REG_SZ, (const BYTE*)"ZPLFile", 8),
              0);

    EXPECT_EQ(FinishLog(), Join({Entry("QV035", "Creating registry key"), Entry("QV036", ".ZPL"),
                                 ErrorEntry("QV037", "Failed to create key", ERROR_ACCESS_DENIED)}));
    EXPECT_EQ(fake::CountCalls("RegSetValueExA"), 0);
    EXPECT_EQ(fake::FindRegistryValue("HKLM\\Software\\Classes\\.ZPL", ""), nullptr);
    ExpectNothingLeftOpen();
}

TEST_F(RegistryWrite, ValueThatCannotBeWrittenStillClosesTheKey)
{
    fake::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED);

    EXPECT_EQ(WriteRegistryValue(HKEY_CLASSES_ROOT, ".ZPL", "", REG_SZ, (const BYTE*)"ZPLFile", 8),
              0);

    EXPECT_EQ(FinishLog(), Join({Entry("QV035", "Creating registry key"), Entry("QV036", ".ZPL"),
                                 Entry("QV038", "Writing registry value"), Entry("QV039", ""),
                                 ErrorEntry("QV040", "Failed to write value", ERROR_ACCESS_DENIED)}));
    EXPECT_EQ(fake::CountCalls("RegCloseKey"), 1);
    ExpectNothingLeftOpen();
}

}  // namespace
