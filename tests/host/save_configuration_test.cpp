// Saving the printer and registering the label file types.
#include <windows.h>
#include <shlobj.h>

#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "config/registry.h"
#include "config/save_configuration.h"
#include "test_support.h"

namespace {

const char kCommand[] = "\"C:\\Program Files\\Quvara\\Quvara.exe\" \"%1\"";
const fake::Bytes kOpenIsSafe = {0x00, 0x00, 0x01, 0x00};

fake::Bytes Sz(const std::string& text)
{
    fake::Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

struct Row {
    std::string key;  // with its root
    std::string value;
    DWORD type;
    fake::Bytes data;
};

// The machine's classes, where the file types are written whoever runs the setup.
const std::string kClasses = "HKLM\\Software\\Classes\\";

// What OK writes, in the order it writes it.
std::vector<Row> Rows(const std::string& printer, const std::string& command)
{
    const std::string& c = kClasses;
    const std::string mime = c + "MIME\\Database\\Content Type\\application/x-";
    return {{"HKLM\\Software\\Pellander\\Quvara", "Printer", REG_SZ, Sz(printer)},
            {c + ".EPL", "", REG_SZ, Sz("EPLFile")},
            {c + ".EPL2", "", REG_SZ, Sz("EPLFile")},
            {c + "EPLFile", "", REG_SZ, Sz("EPL Label")},
            {c + "EPLFile", "EditFlags", REG_BINARY, kOpenIsSafe},
            {c + "EPLFile\\Shell", "", REG_SZ, Sz("Open")},
            {c + ".ZPL", "", REG_SZ, Sz("ZPLFile")},
            {c + "ZPLFile", "", REG_SZ, Sz("ZPL Label")},
            {c + "ZPLFile", "EditFlags", REG_BINARY, kOpenIsSafe},
            {c + "ZPLFile\\Shell", "", REG_SZ, Sz("Open")},
            {c + "EPLFile\\Shell\\Open\\command", "", REG_SZ, Sz(command)},
            {mime + "epl", "Extension", REG_SZ, Sz(".epl")},
            {mime + "epl2", "Extension", REG_SZ, Sz(".epl2")},
            {c + "ZPLFile\\Shell\\Open\\command", "", REG_SZ, Sz(command)},
            {mime + "zpl", "Extension", REG_SZ, Sz(".zpl")}};
}

// The log names a file type's key as HKEY_CLASSES_ROOT would.
std::string WriteEntries(const Row& row)
{
    size_t root = row.key.rfind(kClasses, 0) == 0 ? kClasses.size() : 5;
    return Join({Entry("QV035", "Creating registry key"), Entry("QV036", row.key.substr(root)),
                 Entry("QV038", "Writing registry value"), Entry("QV039", row.value)});
}

class Saving : public QuvaraTest {
protected:
    std::string Save(const std::string& printer)
    {
        strcpy(g_printerName, printer.c_str());
        OpenLog();
        EXPECT_EQ(SaveConfiguration(), 1);
        CloseLog();
        EXPECT_EQ(world().shellNotifications, std::vector<LONG>{SHCNE_ASSOCCHANGED});
        ExpectNothingLeftOpen();
        return Log();
    }
};

// Also for an administrator whose own classes have a .ZPL type: every user's is set up.
TEST_F(Saving, WritesTheFifteenValuesInOrderAndNotifiesTheShell)
{
    for (std::string printer : {"Zebra ZD421 (bench 2)", ""}) {
        fake::Reset();
        world().tempPath = folder() + "/";
        world().modulePath = "C:\\Program Files\\Quvara\\Quvara.exe";
        fake::SetRegistryString("HKCU\\Software\\Classes\\ZPLFile", "", "Own type");

        std::string log = Save(printer);

        std::vector<Row> rows = Rows(printer, kCommand);
        std::string expected = Entry("QV015", "Saving printer name") + WriteEntries(rows[0]) +
                               Entry("QV016", "Creating file associations");
        for (size_t i = 1; i < rows.size(); ++i)
            expected += WriteEntries(rows[i]);
        EXPECT_EQ(log, expected);
        EXPECT_TRUE(world().messageBoxes.empty());
        EXPECT_EQ(world().registry["HKCU\\Software\\Classes\\ZPLFile"].values.size(), 1u);
        for (const Row& row : rows) {
            const fake::RegistryValue* value = fake::FindRegistryValue(row.key, row.value);
            ASSERT_NE(value, nullptr) << row.key << " " << row.value;
            EXPECT_EQ(value->type, row.type) << row.key;
            EXPECT_EQ(value->data, row.data) << row.key << " " << row.value;
        }
    }
}

TEST_F(Saving, AFailingWriteIsLoggedAndTheNextRowsAreStillWritten)
{
    fake::FailCall("RegCreateKeyExA", ERROR_ACCESS_DENIED, 1);  // the printer
    fake::FailCall("RegSetValueExA", ERROR_ACCESS_DENIED, 10);  // the first open command

    std::string log = Save("Zebra");

    EXPECT_NE(log.find(ErrorEntry("QV037", "Failed to create key", ERROR_ACCESS_DENIED) +
                       Entry("QV016", "Creating file associations")),
              std::string::npos);
    EXPECT_NE(log.find(ErrorEntry("QV040", "Failed to write value", ERROR_ACCESS_DENIED)),
              std::string::npos);
    std::vector<Row> rows = Rows("Zebra", kCommand);
    for (size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(fake::FindRegistryValue(rows[i].key, rows[i].value) != nullptr, i != 0 && i != 10)
            << i;
}

TEST_F(Saving, TheSettingAndTheFileTypesOutliveARestart)
{
    Save("Zebra");
    fake::Restart();

    EXPECT_EQ(LoadConfiguredPrinter(), 1);
    EXPECT_STREQ(g_printerName, "Zebra");
    EXPECT_NE(fake::FindRegistryValue(kClasses + "ZPLFile\\Shell\\Open\\command", ""), nullptr);
}

TEST_F(Saving, AStandardUserCanReadTheSettingButChangesNothing)
{
    fake::SetRegistryString("HKLM\\Software\\Pellander\\Quvara", "Printer", "Old");
    world().administrator = false;

    std::string log = Save("New");

    size_t refused = 0;
    std::string entry = ErrorEntry("QV037", "Failed to create key", ERROR_ACCESS_DENIED);
    for (size_t at = log.find(entry); at != std::string::npos; at = log.find(entry, at + 1))
        ++refused;
    EXPECT_EQ(refused, 15u) << "each row is tried and refused";
    EXPECT_EQ(LoadConfiguredPrinter(), 1);
    EXPECT_STREQ(g_printerName, "Old");
}

// Refused writes: every row is still tried, then a box gives Windows' reason for the
// first refusal (cut if long) before the dialog closes.
TEST_F(Saving, OkTellsOfARefusedWriteBeforeClosing)
{
    struct Fault { const char* call; DWORD error; int nth; };
    const struct { bool administrator; std::vector<Fault> faults; std::string reason; } cases[] = {
        {false, {}, "Access is denied."},
        {true, {{"RegSetValueExA", ERROR_ACCESS_DENIED, 5}}, "Access is denied."},
        {true,
         {{"RegCreateKeyExA", ERROR_NOT_ENOUGH_MEMORY, 2}, {"RegSetValueExA", ERROR_ACCESS_DENIED, 5}},
         "Not enough memory resources are available to process this command."},
        {true, {{"RegSetValueExA", ERROR_LOCK_VIOLATION, 1}}, std::string(900, 'r')}};
    const std::string lead = "The settings were not saved.\r\n\r\n";
    const std::string tail = "\r\nStart Quvara setup as an administrator (right-click it, "
                             "\"Run as administrator\") and press OK again.";
    for (const auto& c : cases) {
        fake::Reset();
        world().modulePath = "C:\\Quvara.exe";
        world().administrator = c.administrator;
        world().systemTexts[ERROR_LOCK_VIOLATION] = std::string(900, 'r') + "\r\n";
        for (const Fault& fault : c.faults)
            fake::FailCall(fault.call, fault.error, fault.nth);
        ListPrinter("Zebra");
        OpenDialog();
        PrinterList().selection = 0;

        Command(IDOK);

        EXPECT_EQ(fake::CountCalls("RegCreateKeyExA"), 15) << "every row is tried";
        ASSERT_EQ(fake::CallsAmong({"MessageBoxA", "EndDialog"}),
                  (std::vector<std::string>{"MessageBoxA", "EndDialog"}));
        EXPECT_EQ(world().dialogEnds, std::vector<INT_PTR>{1});
        ExpectNothingLeftOpen();
        const fake::ShownMessageBox& box = world().messageBoxes[0];
        EXPECT_EQ(box.owner, world().dialog);
        EXPECT_EQ(box.caption, "Quvara");
        EXPECT_EQ(box.type, (UINT)(MB_OK | MB_ICONERROR));
        std::string whole = lead + c.reason + tail;
        if (whole.size() < 500)
            EXPECT_EQ(box.text, whole);
        else  // cut, never overrun
            EXPECT_TRUE(box.text.size() < 500 && box.text.starts_with(whole.substr(0, 300)) &&
                        box.text.ends_with(tail)) << box.text;
    }
}

// The open command is never written with a program path that is not whole.
struct ProgramPathCase {
    const char* name;
    std::string path;
    DWORD failure;  // GetModuleFileNameA fails with this; 0: it reports `path`
    DWORD error;    // of the QV043 entry; 0: the commands are written
    std::u16string widePath = u"";  // "": path as it is
    UINT codePage = 1252;
};

class OpenCommand : public Saving, public ::testing::WithParamInterface<ProgramPathCase> {};

TEST_P(OpenCommand, QuotesAWholeProgramPathOrIsNotWritten)
{
    const ProgramPathCase& c = GetParam();
    world().modulePath = c.path;
    world().wideModulePath = c.widePath;
    world().codePage = c.codePage;
    if (c.failure)
        fake::FailCall("GetModuleFileNameA", c.failure);

    std::string log = Save("Zebra");

    std::string command = "\"" + c.path + "\" \"%1\"";
    for (std::string key : {kClasses + "EPLFile\\Shell\\Open\\command",
                            kClasses + "ZPLFile\\Shell\\Open\\command"}) {
        const fake::RegistryValue* value = fake::FindRegistryValue(key, "");
        if (c.error == 0) {
            ASSERT_NE(value, nullptr);
            EXPECT_EQ(value->data, Sz(command));
        } else {
            EXPECT_EQ(value, nullptr);
        }
    }
    bool refused = log.find(ErrorEntry("QV043", "Can't build the open command", c.error)) !=
                   std::string::npos;
    EXPECT_EQ(refused, c.error != 0) << log;
    // Never a silent success: labels would not open with this Quvara.
    ASSERT_EQ(world().messageBoxes.size(), c.error ? 1u : 0u);
    if (c.error) {
        EXPECT_TRUE(world().messageBoxes[0].text.starts_with("Label files will not open"));
    }
    EXPECT_NE(fake::FindRegistryValue(kClasses + "MIME\\Database\\Content Type\\application/x-zpl",
                                      "Extension"),
              nullptr)
        << "the rows after the commands are still written";
}

INSTANTIATE_TEST_SUITE_P(
    Paths, OpenCommand,
    ::testing::Values(
        ProgramPathCase{"WithBlanks", "C:\\Program Files (x86)\\Label Tools\\Quvara.exe", 0, 0},
        ProgramPathCase{"LongestThatFits", "C:\\" + std::string(485, 'q') + ".exe", 0, 0},
        ProgramPathCase{"OneTooLong", "C:\\" + std::string(486, 'q') + ".exe", 0,
                        ERROR_FILENAME_EXCED_RANGE},
        ProgramPathCase{"CutShort", "C:\\" + std::string(600, 'q') + ".exe", 0,
                        ERROR_FILENAME_EXCED_RANGE},
        ProgramPathCase{"NotToBeHad", "C:\\Quvara.exe", ERROR_NOT_ENOUGH_MEMORY,
                        ERROR_NOT_ENOUGH_MEMORY},
        // The ANSI path best-fitted: a folder that does not exist.
        ProgramPathCase{"OutsideTheCodePage", "C:\\Users\\Lukasz\\Quvara.exe", 0,
                        ERROR_NO_UNICODE_TRANSLATION, u"C:\\Users\\\u0141ukasz\\Quvara.exe"},
        // "Beta: Use Unicode UTF-8": Windows refuses best-fit flags for that code page.
        ProgramPathCase{"PlainUnderUtf8", "C:\\Program Files\\Quvara\\Quvara.exe", 0, 0, u"", CP_UTF8}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
