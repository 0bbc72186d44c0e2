// The diagnostic log: exact bytes, and the runs that have to go without one.
#include <filesystem>

#include "app/globals.h"
#include "app/log.h"
#include "test_support.h"

namespace {

class LogFile : public QuvaraTest {
protected:
    std::string LogOf(DWORD error, const char* code, const char* text)
    {
        OpenLog();
        LogEvent(error, code, text);
        CloseLog();
        return Log();
    }
};

TEST_F(LogFile, EntryWithoutErrorIsOneLine)
{
    EXPECT_EQ(LogOf(0, "QV020", "Get selected printer"), "QV020: Get selected printer\r\n");
}

TEST_F(LogFile, EntryWithErrorAddsTabbedSystemTextAndThenAnEmptyLine)
{
    EXPECT_EQ(LogOf(ERROR_FILE_NOT_FOUND, "QV104", "Failed to open file"),
              "QV104: Failed to open file\r\n\tThe system cannot find the file specified.\r\n\r\n");
    EXPECT_EQ(world().localAllocations, 0) << "the system text must be released";
}

TEST_F(LogFile, ErrorWithoutSystemTextStillStartsTheSecondLine)
{
    EXPECT_EQ(LogOf(0xE0001234, "QV113", "Read-write size mismatch"),
              "QV113: Read-write size mismatch\r\n\t\r\n");
}

TEST_F(LogFile, EmptyTextLeavesNothingAfterTheBlank)
{
    EXPECT_EQ(LogOf(0, "QV019", ""), "QV019: \r\n");
}

TEST_F(LogFile, EntriesAfterCloseAreDropped)
{
    OpenLog();
    LogEvent(0, "QV001", "No printer configured");
    CloseLog();
    LogEvent(0, "QV002", "too late");
    EXPECT_EQ(Log(), "QV001: No printer configured\r\n");
    EXPECT_EQ(world().openFiles, 0);
}

TEST_F(LogFile, EachRunReplacesTheLogOfTheRunBefore)
{
    MakeFile("QuvaraLog.txt", std::string(5000, 'x'));
    Run("");
    EXPECT_TRUE(LogExists());
    EXPECT_EQ(Log(), "");
}

// A folder that cannot take the name stays without a log; the label still prints.
struct TempFolderCase {
    const char* name;
    size_t folderLength;  // 0: the platform reports no folder at all
    bool logExpected;
};

void PrintTo(const TempFolderCase& c, std::ostream* out)
{
    *out << c.name;
}

class LogFolder : public QuvaraTest, public ::testing::WithParamInterface<TempFolderCase> {};

// Builds a real folder whose path, trailing slash included, has exactly `length` characters.
std::string MakeFolderOfLength(const std::string& base, size_t length)
{
    std::string path = base;
    while (path.size() + 1 < length) {
        size_t room = length - path.size() - 2;  // a slash before, one after
        size_t part = room > 200 ? 200 : room;
        if (room > 200 && room - 200 < 2)
            part = room - 2;  // never leave a name too short to make
        path += "/" + std::string(part, 'd');
        std::filesystem::create_directory(path);
    }
    return path + "/";
}

TEST_P(LogFolder, DecidesWhetherTheRunHasALog)
{
    const TempFolderCase& c = GetParam();
    std::string logFolder;
    if (c.folderLength == 0) {
        fake::FailCall("GetTempPathA", ERROR_PATH_NOT_FOUND);
    } else {
        logFolder = MakeFolderOfLength(folder(), c.folderLength);
        ASSERT_EQ(logFolder.size(), c.folderLength);
        world().tempPath = logFolder;
    }
    AddPrinter("Zebra");
    SavePrinter("Zebra");
    std::string label = MakeFile("a.zpl", "^XA^XZ");

    EXPECT_EQ(Run(label), 0);

    EXPECT_EQ(std::filesystem::exists(logFolder + "QuvaraLog.txt"), c.logExpected);
    EXPECT_FALSE(std::filesystem::exists("QuvaraLog.txt")) << "never in the current folder";
    EXPECT_EQ(fake::CountCalls("CreateFileA"), c.logExpected ? 2 : 1);
    if (!c.logExpected) {
        EXPECT_EQ(fake::CountCalls("WriteFile"), 0);
    }
    ASSERT_EQ(world().jobs.size(), 1u) << "the label prints with or without a log";
    EXPECT_EQ(world().jobs[0].accepted, ReadHostFile(label));
    ExpectNothingLeftOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Folders, LogFolder,
    ::testing::Values(TempFolderCase{"NoFolderReported", 0, false},
                      TempFolderCase{"LogPathOf499Characters", 486, true},
                      TempFolderCase{"NoRoomForTheName", 487, false},
                      TempFolderCase{"FolderFillsTheBuffer", 499, false},
                      TempFolderCase{"FolderLongerThanTheBuffer", 620, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A folder the code page cannot spell arrives best-fitted ("Lukasz" for "Łukasz"): the log
// goes where the wide name says.
TEST_F(LogFile, AFolderTheCodePageCannotSpellGetsTheLogByItsWideName)
{
    std::string wideFolder = folder() + "/\xC5\x81ukasz/";
    std::filesystem::create_directory(wideFolder);
    world().tempPath = folder() + "/Lukasz/";
    world().wideTempPath = std::filesystem::path(wideFolder).u16string();

    Run("");

    EXPECT_TRUE(std::filesystem::exists(wideFolder + "QuvaraLog.txt"));
    EXPECT_EQ(std::u16string(g_logPath), std::filesystem::path(wideFolder + "QuvaraLog.txt").u16string())
        << "a notice's Details name it";
}

TEST_F(LogFile, LogThatCannotBeCreatedSwitchesLoggingOff)
{
    fake::FailCall("CreateFileA", ERROR_ACCESS_DENIED);
    AddPrinter("Zebra");
    SavePrinter("Zebra");
    std::string label = MakeFile("a.zpl", "^XA^XZ");

    EXPECT_EQ(Run(label), 0);

    EXPECT_FALSE(LogExists());
    EXPECT_EQ(fake::CountCalls("WriteFile"), 0);
    ASSERT_EQ(world().jobs.size(), 1u);
    ExpectNothingLeftOpen();
}

TEST_F(LogFile, ALogInUseIsNeitherSharedNorStartedAgain)
{
    OpenLog();
    HANDLE firstCopysLog = g_logFile;
    LogEvent(0, "QV004", "first copy");

    OpenLog();  // a second copy, while the first runs

    EXPECT_EQ(g_logFile, INVALID_HANDLE_VALUE);
    g_logFile = firstCopysLog;
    CloseLog();
    EXPECT_EQ(Log(), Entry("QV004", "first copy"));
}

TEST_F(LogFile, SecondCopyRunningAtTheSameTimeGoesWithoutALog)
{
    HANDLE firstCopysLog = CreateFileA(LogPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(firstCopysLog, INVALID_HANDLE_VALUE);
    AddPrinter("Zebra");
    SavePrinter("Zebra");
    std::string label = MakeFile("a.zpl", "^XA^XZ");

    EXPECT_EQ(Run(label), 0);

    EXPECT_EQ(g_logFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(fake::CountCalls("WriteFile"), 0);
    EXPECT_EQ(world().jobs.size(), 1u);
    CloseHandle(firstCopysLog);
    EXPECT_EQ(Log(), "");
}

}  // namespace
