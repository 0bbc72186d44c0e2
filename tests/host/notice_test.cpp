// The station's Notify option: what the person at the bench is told, and when nothing.
#include <cstring>
#include <filesystem>

#include "app/globals.h"
#include "test_support.h"

#include <winspool.h>  // after windows.h

namespace {

const char kPrinter[] = "Zebra ZD421";
const char kKey[] = "HKLM\\Software\\Pellander\\Quvara";

struct NoticeCase {
    const char* event;  // the notice's; nullptr: no notice
    const char* words;  // part of its text; "{label}" is the label's path
    const char* call;   // fails once, the nth time
    int nth;
    DWORD error;
    DWORD attributes = 0, status = 0;  // the printer's
    std::string argument = "";         // "": the label
    const char* thenCall = "";         // fails next, with the same error
};

class Notice : public QuvaraTest, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(Notice, TellsWhyTheLabelDidNotPrintOnlyWhenTheStationAsks)
{
    const NoticeCase& c = GetParam();
    std::string label = MakeFile("label.zpl", std::string(1500, 'x'));
    std::string logs[2];
    for (BYTE notify : {0, 1}) {
        fake::Reset();
        g_noticeEvent = NULL;
        world().tempPath = folder() + "/";
        SavePrinter(kPrinter);
        AddPrinter(kPrinter);
        world().printerStates[kPrinter] = {c.attributes, c.status};
        fake::FailCall(c.call, c.error, c.nth);
        fake::FailCall(c.thenCall, c.error);
        fake::SetRegistryValue(kKey, "Notify", REG_DWORD, {notify, 0, 0, 0});
        Run(c.argument.empty() ? label : c.argument);
        logs[notify] = Log();
        ExpectNothingLeftOpen();
        if (!notify) {
            EXPECT_TRUE(fake::CallsAmong({"MessageBoxA", "CreateMutexA", "GetPrinterA"}).empty());
        }
    }
    // The option adds no entries, except why a label waits.
    bool waits = c.event && strcmp(c.event, "QV117") >= 0;
    EXPECT_EQ(logs[1].substr(0, logs[0].size()), logs[0]);
    EXPECT_EQ(logs[1].substr(logs[0].size(), 5), waits ? c.event : "");
    ASSERT_EQ(world().messageBoxes.size(), c.event ? 1u : 0u) << logs[1];
    if (c.event) {
        const fake::ShownMessageBox& box = world().messageBoxes[0];
        std::string words = c.words;
        if (words.find("{label}") != std::string::npos)
            words.replace(words.find("{label}"), 7, label);
        EXPECT_NE(box.text.find(words), std::string::npos) << box.text;
        EXPECT_EQ(box.text.substr(box.text.find("\r\n\r\n")),
                  std::string("\r\n\r\nEvent ") + c.event + ". Details: " + LogPath());
        EXPECT_EQ(box.owner, (HWND)NULL);
        EXPECT_EQ(box.caption, "Quvara");
        EXPECT_EQ(box.type, (UINT)(MB_OK | (waits ? MB_ICONWARNING : MB_ICONERROR) | MB_TOPMOST |
                                   MB_SETFOREGROUND));
        EXPECT_EQ(box.openHandles, 0) << "the log, the label and the printer are closed";
        EXPECT_EQ(fake::CallsAmong({"CreateMutexA", "MessageBoxA", "ReleaseMutex"}),
                  (std::vector<std::string>{"CreateMutexA", "MessageBoxA", "ReleaseMutex"}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Notice,
    ::testing::Values(
        NoticeCase{"QV001", "Quvara has not been set up on this computer.", "RegOpenKeyExA", 2,
                   ERROR_ACCESS_DENIED},
        NoticeCase{"QV041", "is too long.\r\nSave the label", "", 0, 0, 0, 0,
                   std::string(600, 'x')},
        NoticeCase{"QV104", "the label file \"{label}\" could not be opened.\r\nWindows reports: "
                            "The process cannot access the file because it is being used by "
                            "another process.\r\nIf the download has not finished",
                   "CreateFileA", 2, ERROR_SHARING_VIOLATION},
        NoticeCase{"QV105", "The label was not printed: Windows has no printer named \"Zebra "
                            "ZD421\".\r\nAsk whoever looks after this computer to run Quvara "
                            "setup.\r\n\r\n", "OpenPrinterA", 1, ERROR_INVALID_PRINTER_NAME},
        NoticeCase{"QV105", "\"Zebra ZD421\" could not be opened.\r\nWindows reports: Access is "
                            "denied.\r\n", "OpenPrinterA", 1, ERROR_ACCESS_DENIED},
        NoticeCase{"QV107", "did not accept the label.\r\nWindows reports: The device is not "
                            "ready.\r\nCheck that the printer is switched on",
                   "StartPagePrinter", 1, ERROR_NOT_READY},
        NoticeCase{"QV106", "did not accept the label.\r\nCheck", "StartDocPrinterA", 1, 0xE0001234},
        NoticeCase{"QV112", "Not all of the label reached the printer \"Zebra ZD421\".",
                   "WritePrinter", 2, ERROR_PRINTER_DELETED, 0, 0, "", "EndPagePrinter"},
        NoticeCase{"QV110", "Not all", "ReadFile", 1, ERROR_READ_FAULT, 0, PRINTER_STATUS_PAUSED},
        NoticeCase{"QV114", "may not print", "EndPagePrinter", 1, ERROR_NOT_READY},
        NoticeCase{nullptr, "", "GetFileSize", 1, ERROR_INVALID_HANDLE},  // it still prints
        NoticeCase{nullptr, "", "", 0, 0},
        NoticeCase{"QV117", "The label is waiting in the printer queue: the printer \"Zebra "
                            "ZD421\" is set to \"Use Printer Offline\".",
                   "", 0, 0, PRINTER_ATTRIBUTE_WORK_OFFLINE},
        NoticeCase{"QV118", "printing is paused for \"Zebra ZD421\".\r\n", "", 0, 0, 0,
                   PRINTER_STATUS_PAUSED},
        NoticeCase{"QV119", "reports the printer \"Zebra ZD421\" offline.", "", 0, 0, 0,
                   PRINTER_STATUS_OFFLINE},
        NoticeCase{"QV120", "out of paper.", "", 0, 0, 0, PRINTER_STATUS_PAPER_OUT},
        NoticeCase{"QV121", "in an error state.", "", 0, 0, 0, PRINTER_STATUS_PAPER_JAM},
        NoticeCase{nullptr, "", "GetPrinterA", 1, ERROR_ACCESS_DENIED, 0, PRINTER_STATUS_PAUSED},
        NoticeCase{nullptr, "", "LocalAlloc", 2, ERROR_NOT_ENOUGH_MEMORY, 0, PRINTER_STATUS_PAUSED},
        NoticeCase{nullptr, "", "", 0, 0, 0, PRINTER_STATUS_BUSY}));

// Only a REG_DWORD of 1 shows a notice, one at a time across copies; the longest printer
// name and log path are shown whole.
TEST_F(Notice, OnlyADwordOfOneShowsANoticeAndOnlyWhileNoOtherIsOpen)
{
    std::string logFolder = folder() + "/" + std::string(230, 't') + "/" + std::string(230, 't');
    std::filesystem::create_directories(logFolder);
    std::string name(499, 'Z'), label = MakeFile("label.zpl", "^XA^XZ");
    const fake::Bytes one = {1, 0, 0, 0};
    const struct { DWORD type; fake::Bytes data; bool otherNoticeOpen, shows, logged = true; }
        cases[] = {{REG_DWORD, one, false, true},     {REG_DWORD, one, false, true, false},
                   {REG_DWORD, one, true, false},     {REG_DWORD, {2, 0, 0, 0}, false, false},
                   {REG_SZ, {'1', 0}, false, false},  {REG_BINARY, one, false, false},
                   {REG_DWORD, {1}, false, false}};
    for (const auto& c : cases) {
        fake::Reset();
        g_noticeEvent = NULL;
        world().tempPath = logFolder + "/";
        SavePrinter(name);  // not installed
        fake::SetRegistryValue(kKey, "Notify", c.type, c.data);
        if (c.otherNoticeOpen)
            world().otherCopysMutexes.insert("QuvaraNotice");
        if (!c.logged)
            fake::FailCall("GetTempPathA", ERROR_PATH_NOT_FOUND);

        Run(label);

        ASSERT_EQ(world().messageBoxes.size(), c.shows ? 1u : 0u);
        EXPECT_EQ(fake::CountCalls("CreateMutexA"), c.shows || c.otherNoticeOpen ? 1 : 0);
        if (c.shows) {
            EXPECT_EQ(world().messageBoxes[0].text,
                      "The label was not printed: Windows has no printer named \"" + name +
                          "\".\r\nAsk whoever looks after this computer to run Quvara setup."
                          "\r\n\r\nEvent QV105." +
                          (c.logged ? " Details: " + logFolder + "/QuvaraLog.txt" : ""));
        }
        ExpectNothingLeftOpen();
    }
}

}  // namespace
