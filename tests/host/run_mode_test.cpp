// Choosing the run mode, unquoting the argument, and what a command-line run logs.
#include <filesystem>

#include "app/globals.h"
#include "res/resource.h"
#include "test_support.h"
#include "ui/config_dialog.h"

namespace {

class RunMode : public QuvaraTest {};

TEST_F(RunMode, EmptyArgumentShowsTheSetupDialogAndPrintsNothing)
{
    SavePrinter("Zebra");
    AddPrinter("Zebra");

    EXPECT_EQ(Run(""), 0) << "a dialog that cannot be shown still ends with 0";

    ASSERT_EQ(world().dialogs.size(), 1u);
    const fake::DialogCall& dialog = world().dialogs[0];
    EXPECT_EQ(dialog.templateId, (ULONG_PTR)IDD_CONFIG);
    EXPECT_EQ(dialog.owner, (HWND)NULL);
    EXPECT_EQ(dialog.procedure, &ConfigDialogProc);
    EXPECT_EQ(dialog.instance, (HINSTANCE)0x400000);
    EXPECT_EQ(fake::CountCalls("RegOpenKeyExA"), 0);
    EXPECT_TRUE(world().jobs.empty());
    EXPECT_EQ(g_versionInfo.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(g_versionInfo.dwPlatformId, (DWORD)VER_PLATFORM_WIN32_NT);
    ExpectNothingLeftOpen();
}

TEST_F(RunMode, CommandLineRunLogsEveryStepInOrder)
{
    SavePrinter("Zebra ZD420 (Packing 2)");
    AddPrinter("Zebra ZD420 (Packing 2)");
    std::string label = MakeFile("label 1.zpl", "^XA^FO50,50^FDHello^FS^XZ");
    std::string argument = "\"" + label + "\"";

    EXPECT_EQ(Run(argument), 0);

    EXPECT_EQ(Log(), SavedPrinterLoadEntries("Zebra ZD420 (Packing 2)") +
                         Join({Entry("QV002", world().commandLine), Entry("QV003", argument),
                               Entry("QV101", "Printing..."), Entry("QV102", label),
                               Entry("QV103", "Zebra ZD420 (Packing 2)"),
                               Entry("QV111", "End-of-file")}));
    ASSERT_EQ(world().jobs.size(), 1u);
    EXPECT_EQ(world().jobs[0].printer, "Zebra ZD420 (Packing 2)");
    EXPECT_EQ(world().jobs[0].accepted, ReadHostFile(label));
    ExpectNothingLeftOpen();
}

TEST_F(RunMode, AStandardUserPrintsToTheMachinesPrinter)
{
    SavePrinter("Zebra");
    AddPrinter("Zebra");
    world().administrator = false;
    std::string label = MakeFile("a.zpl", "^XA^XZ");

    EXPECT_EQ(Run(label), 0);

    EXPECT_EQ(world().jobs.size(), 1u) << Log();
}

TEST_F(RunMode, WithoutASavedPrinterNothingIsPrinted)
{
    AddPrinter("Zebra");
    std::string label = MakeFile("a.zpl", "^XA^XZ");

    EXPECT_EQ(Run(label), 0);

    EXPECT_EQ(Log(), Join({Entry("QV017", "Get previously configured printer"),
                           Entry("QV029", "Opening registry key"),
                           Entry("QV030", "Software\\Pellander\\Quvara"),
                           ErrorEntry("QV031", "Failed to open key", ERROR_FILE_NOT_FOUND),
                           Entry("QV018", "No printer configured"), Entry("QV019", ""),
                           Entry("QV001", "No printer configured")}));
    EXPECT_EQ(fake::CountCalls("OpenPrinterA"), 0);
    EXPECT_EQ(fake::CountCalls("CreateFileA"), 1) << "only the log is opened";
    EXPECT_TRUE(world().jobs.empty());
    ExpectNothingLeftOpen();
}

// How the argument text becomes the path of the file to print.
struct UnquoteCase {
    const char* name;
    const char* argument;  // "{dir}" stands for the test's folder
    const char* path;      // the path the job is named after
};

void PrintTo(const UnquoteCase& c, std::ostream* out)
{
    *out << c.name;
}

class Unquoting : public QuvaraTest, public ::testing::WithParamInterface<UnquoteCase> {
protected:
    std::string Expand(std::string text)
    {
        size_t at = text.find("{dir}");
        if (at != std::string::npos)
            text.replace(at, 5, folder());
        return text;
    }
};

TEST_P(Unquoting, PrintsTheFileTheArgumentNames)
{
    const UnquoteCase& c = GetParam();
    // Decoys: each names a file a wrong reading of the argument would print.
    MakeFile("label.zpl", "^XA^FDfull name^FS^XZ");
    MakeFile("label.zp", "^XA^FDlast character dropped^FS^XZ");
    MakeFile("two words.zpl", "^XA^FDblanks kept^FS^XZ");
    MakeFile("a\"b.zpl", "^XA^FDquote kept^FS^XZ");
    std::string argument = Expand(c.argument);
    std::string path = Expand(c.path);
    // The ANSI text, then the wide one, read when the ANSI one is not its exact conversion
    // (the third conversion: the first two are the log folder's).
    for (bool wide : {false, true}) {
        fake::Reset();
        world().tempPath = folder() + "/";
        AddPrinter("Zebra");
        SavePrinter("Zebra");
        if (wide)
            fake::FailCall("MultiByteToWideChar", ERROR_INSUFFICIENT_BUFFER, 3);

        EXPECT_EQ(Run(argument), 0);

        EXPECT_NE(Log().find(Entry("QV003", argument)), std::string::npos);
        ASSERT_EQ(world().jobs.size(), 1u) << Log();
        EXPECT_EQ(world().jobs[0].documentName, path);
        EXPECT_EQ(world().jobs[0].accepted, ReadHostFile(path));
        EXPECT_EQ(fake::CountCalls("CreateFileW"), wide ? 1 : 0);
        ExpectNothingLeftOpen();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, Unquoting,
    ::testing::Values(UnquoteCase{"Quoted", "\"{dir}/label.zpl\"", "{dir}/label.zpl"},
                      UnquoteCase{"Unquoted", "{dir}/label.zpl", "{dir}/label.zpl"},
                      UnquoteCase{"QuotedWithBlanks", "\"{dir}/two words.zpl\"",
                                  "{dir}/two words.zpl"},
                      UnquoteCase{"BlanksWithoutQuotesStayOnePath", "{dir}/two words.zpl",
                                  "{dir}/two words.zpl"},
                      UnquoteCase{"NoClosingQuote", "\"{dir}/label.zpl", "{dir}/label.zpl"},
                      UnquoteCase{"TrailingBlanks", "\"{dir}/label.zpl\" \t ", "{dir}/label.zpl"},
                      UnquoteCase{"TrailingBlanksUnquoted", "{dir}/label.zpl  ", "{dir}/label.zpl"},
                      UnquoteCase{"QuoteInTheMiddle", "\"{dir}/a\"b.zpl\"", "{dir}/a\"b.zpl"}),
    [](const auto& info) { return std::string(info.param.name); });

// Blanks after it go first, as at the end of any argument.
TEST_F(RunMode, LoneQuoteNamesNoFile)
{
    AddPrinter("Zebra");
    SavePrinter("Zebra");

    EXPECT_EQ(Run("\" \t"), 0);

    std::string log = Log();
    EXPECT_NE(log.find(Entry("QV102", "")), std::string::npos);
    EXPECT_NE(log.find(ErrorEntry("QV104", "Failed to open file", ERROR_PATH_NOT_FOUND)),
              std::string::npos)
        << log;
    EXPECT_EQ(fake::CountCalls("OpenPrinterA"), 0);
    EXPECT_TRUE(world().jobs.empty());
    ExpectNothingLeftOpen();
}

TEST_F(RunMode, ArgumentThatCannotFitThePathBufferIsRefused)
{
    AddPrinter("Zebra");
    SavePrinter("Zebra");
    std::string argument = "\"" + folder() + "/" + std::string(600, 'x') + ".zpl\"";

    EXPECT_EQ(Run(argument), 0);

    std::string log = Log();
    EXPECT_NE(log.find(Entry("QV003", argument)), std::string::npos) << "logged whole";
    EXPECT_NE(log.find(ErrorEntry("QV041", "Path too long", ERROR_FILENAME_EXCED_RANGE)),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("QV101"), std::string::npos);
    EXPECT_EQ(fake::CountCalls("CreateFileA"), 1) << "only the log is opened";
    EXPECT_TRUE(world().jobs.empty());
    ExpectNothingLeftOpen();
}

TEST_F(RunMode, ArgumentsUpTo499CharactersAreTriedAndLongerOnesRefused)
{
    for (size_t length : {499u, 500u}) {
        fake::Reset();
        world().tempPath = folder() + "/";
        AddPrinter("Zebra");
        SavePrinter("Zebra");
        std::string argument = "/" + std::string(length - 1, 'p');

        EXPECT_EQ(Run(argument), 0);

        bool tried = Log().find(Entry("QV102", argument)) != std::string::npos;
        bool refused = Log().find("QV041: Path too long") != std::string::npos;
        EXPECT_EQ(tried, length < 500) << length;
        EXPECT_EQ(refused, length >= 500) << length;
    }
}

// Windows best-fits a name the ANSI code page cannot spell ("Ł" to "L", Cyrillic to "?"):
// the file the wide command line names is printed, never a look-alike beside it, and the
// log keeps the ANSI text. A name the code page can spell is opened as it always was.
TEST_F(RunMode, ANameOutsideTheCodePagePrintsTheFileItNames)
{
    for (std::string name : {"\xC5\x81" "abel.zpl", "\xD0\x9C\xD0\xB5\xD1\x82\xD0\xBA\xD0\xB0.zpl",
                             "\xC9tiquette.zpl"}) {
        fake::Reset();
        world().tempPath = folder() + "/";
        AddPrinter("Zebra");
        SavePrinter("Zebra");
        std::string label = MakeFile(name, "^XA^FDnamed^FS^XZ"), program = "\"C:\\Q\\Quvara.exe\" ";
        std::string ansi = name[0] == '\xC5' ? "Label.zpl" : name[0] == '\xD0' ? "?????.zpl" : name;
        MakeFile("Label.zpl", "^XA^FDlook-alike^FS^XZ");
        world().commandLine = program + folder() + "/" + ansi;
        if (ansi != name)
            world().wideCommandLine = std::filesystem::path(program + label).u16string();

        EXPECT_EQ(WinMain((HINSTANCE)0x400000, NULL, nullptr, SW_SHOWNORMAL), 0);

        EXPECT_NE(Log().find(Entry("QV102", folder() + "/" + ansi)), std::string::npos) << Log();
        ASSERT_EQ(world().jobs.size(), 1u) << Log();
        EXPECT_EQ(world().jobs[0].accepted, ReadHostFile(label)) << ansi;
        EXPECT_EQ(fake::CountCalls("CreateFileW"), ansi != name ? 1 : 0);
    }
}

// A label that cannot be opened is reported by its own name, never the ANSI look-alike's.
TEST_F(RunMode, ALabelIsReportedByItsWideName)
{
    SavePrinter("Zebra");
    AddPrinter("Zebra");
    fake::SetRegistryValue("HKLM\\Software\\Pellander\\Quvara", "Notify", REG_DWORD, {1, 0, 0, 0});
    std::string label = folder() + "/\xC5\x81" "abel.zpl";  // not there; "Label.zpl" is
    MakeFile("Label.zpl", "^XA^FDlook-alike^FS^XZ");
    world().commandLine = "\"C:\\Q\\Quvara.exe\" " + folder() + "/Label.zpl";
    world().wideCommandLine = std::filesystem::path("\"C:\\Q\\Quvara.exe\" " + label).u16string();

    EXPECT_EQ(WinMain((HINSTANCE)0x400000, NULL, nullptr, SW_SHOWNORMAL), 0);

    ASSERT_EQ(world().events.size(), 1u) << Log();
    EXPECT_EQ(world().events[0].strings[0], label);
    EXPECT_NE(world().messageBoxes.at(0).text.find("\"" + label + "\" could not be opened"),
              std::string::npos);
}

// The argument text is what follows the program's name and the blanks after it; only
// codes 32 and below end the name, so bytes above 127 belong to it.
struct CommandLineCase {
    const char* name;
    const char* commandLine;
    const char* argument;  // "" when the run must show the dialog
};

class ArgumentText : public QuvaraTest, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(ArgumentText, IsTheCommandLineLessTheProgramName)
{
    const CommandLineCase& c = GetParam();
    SavePrinter("Zebra");
    world().commandLine = c.commandLine;
    char startupArguments[] = "what the C runtime computed";

    EXPECT_EQ(WinMain((HINSTANCE)0x400000, NULL, startupArguments, SW_SHOWNORMAL), 0);

    bool dialog = c.argument[0] == '\0';
    EXPECT_EQ(fake::CountCalls("DialogBoxParamA"), dialog ? 1 : 0);
    if (!dialog) {
        EXPECT_NE(Log().find(Entry("QV003", c.argument)), std::string::npos) << Log();
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ArgumentText,
    ::testing::Values(
        CommandLineCase{"QuotedNameQuotedPath", "\"C:\\P F\\Quvara.exe\" \"C:\\a b.zpl\"",
                        "\"C:\\a b.zpl\""},
        CommandLineCase{"UnquotedNameUnquotedPath", "C:\\Q\\Quvara.exe C:\\a b.zpl", "C:\\a b.zpl"},
        CommandLineCase{"BlanksAndTabsSkipped", "Quvara.exe \t \t\"a.zpl\"", "\"a.zpl\""},
        CommandLineCase{"HighByteInUnquotedName", "C:\\Dr\xFC" "cker\\Quvara.exe", ""},
        CommandLineCase{"HighByteInUnquotedNameWithPath", "C:\\Dr\xFC" "cker\\Quvara.exe a.zpl",
                        "a.zpl"},
        CommandLineCase{"HighByteStartsTheArgument", "Quvara.exe \xC9tiquette.zpl",
                        "\xC9tiquette.zpl"},
        CommandLineCase{"NoBreakSpaceIsNoBlank", "Quvara.exe \xA0" "a.zpl", "\xA0" "a.zpl"},
        CommandLineCase{"QuotesInsideTheName", "C:\\\"P F\"\\Quvara.exe a.zpl", "a.zpl"},
        CommandLineCase{"OnlyBlanksAfterTheName", "\"C:\\P F\\Quvara.exe\"  \t", ""},
        CommandLineCase{"UnclosedQuoteTakesEverything", "\"C:\\P F\\Quvara.exe a.zpl", ""}),
    [](const auto& info) { return std::string(info.param.name); });
}  // namespace
