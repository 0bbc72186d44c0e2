// The station's Notify option: what the person at the bench is told, and when nothing.
#include <filesystem>

#include "app/globals.h"
#include "test_support.h"

#include <winspool.h>  // after windows.h

namespace {

const char kKey[] = "HKLM\\Software\\Pellander\\Quvara";

struct NoticeCase {
    const char* event;  // the notice's; nullptr: none
    const char* words;  // part of its text
    const char* call;   // fails the nth time, and then thenCall with the same error
    int nth;
    DWORD error;
    DWORD attributes = 0, status = 0;  // the printer's
    const char* thenCall = "";
    std::string argument = "";  // "": the label
    const char* driver = "ZDesigner ZD421";  // the queue's
    std::string port = "USB001";
};

class Notice : public QuvaraTest, public ::testing::WithParamInterface<NoticeCase> {};

TEST_P(Notice, TellsWhyTheLabelDidNotPrintOnlyWhenTheStationAsks)
{
    const NoticeCase& c = GetParam();
    std::string label = MakeFile("label.zpl", std::string(1500, 'x')), logs[2];
    size_t asked[2];
    // A warning; but for QV122 and QV123, whether a label waits is asked only with Notify set.
    bool warns = c.event && std::string(c.event) >= "QV117";
    bool waits = warns && std::string(c.event) < "QV122";
    for (BYTE notify : {0, 1}) {
        fake::Reset();
        g_noticeEvent = NULL;
        world().tempPath = folder() + "/";
        SavePrinter("Zebra ZD421");
        AddPrinter("Zebra ZD421");
        world().printerStates["Zebra ZD421"] = {c.attributes, c.status};
        world().printerDrivers["Zebra ZD421"] = c.driver;
        world().printerPorts["Zebra ZD421"] = c.port;
        fake::FailCall(c.call, c.error, c.nth);
        fake::FailCall(c.thenCall, c.error);
        fake::SetRegistryValue(kKey, "Notify", REG_DWORD, {notify, 0, 0, 0});
        Run(c.argument.empty() ? label : c.argument);
        logs[notify] = Log();
        ExpectNothingLeftOpen();
        asked[notify] = fake::CallsAmong({"MessageBoxW", "CreateMutexA", "GetPrinterA"}).size();
        EXPECT_TRUE(notify || fake::CallsAmong({"MessageBoxW", "CreateMutexA"}).empty());
        // IT's event, with or without the option; a source that cannot be had changes nothing.
        bool reported =
            c.event && (notify || !waits) && strcmp(c.thenCall, "RegisterEventSourceA") != 0;
        ASSERT_EQ(world().events.size(), reported ? 1u : 0u);
        if (reported) {
            const fake::ReportedEvent& event = world().events[0];
            EXPECT_EQ(event.type, warns ? EVENTLOG_WARNING_TYPE : EVENTLOG_ERROR_TYPE);
            EXPECT_EQ(event.id, (DWORD)atoi(c.event + 2));
            // A longer file string would lose the event: cut, ending "...".
            std::string file = c.argument.empty() ? label : c.argument.substr(0, 31836) + "...";
            std::string printer = strcmp(c.event, "QV001") ? "Zebra ZD421" : "";
            bool opened = strcmp(c.event, "QV106") >= 0;  // the queue's driver and port known
            std::string cause = c.driver == std::string("Remote Desktop Easy Print")
                                    ? " The cause: Windows' driver Remote Desktop Easy Print "
                                      "passes no labels on to a printer."
                                    : "";
            EXPECT_EQ(event.strings, (std::vector<std::string>{file, printer,
                                                               logs[notify].substr(0, LOG_LINES_SIZE - 1),
                                                               opened ? c.driver : "",
                                                               opened ? c.port : "", cause}));
        }
    }
    EXPECT_GT(asked[1], asked[0]);
    // The option adds no entries but why a label waits.
    EXPECT_EQ(logs[1].substr(0, logs[0].size()), logs[0]);
    EXPECT_EQ(logs[1].substr(logs[0].size(), 5), waits ? c.event : "");
    ASSERT_EQ(world().messageBoxes.size(), c.event ? 1u : 0u) << logs[1];
    if (c.event) {
        const fake::ShownMessageBox& box = world().messageBoxes[0];
        EXPECT_NE(box.text.find(c.words), std::string::npos) << box.text;
        EXPECT_EQ(box.text.substr(box.text.find("\r\n\r\n")),
                  std::string("\r\n\r\nEvent ") + c.event + ". Details: " + LogPath());
        EXPECT_EQ(box.owner, (HWND)NULL);
        EXPECT_EQ(box.caption, "Quvara");
        EXPECT_EQ(box.type, (UINT)(MB_OK | (warns ? MB_ICONWARNING : MB_ICONERROR) | MB_TOPMOST |
                                   MB_SETFOREGROUND));
        EXPECT_EQ(box.openHandles, 0) << "the log, the label and the printer are closed";
        EXPECT_EQ(fake::CallsAmong({"CreateMutexA", "MessageBoxW", "ReleaseMutex"}),
                  (std::vector<std::string>{"CreateMutexA", "MessageBoxW", "ReleaseMutex"}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Notice,
    ::testing::Values(
        NoticeCase{"QV001", "has not been set up", "RegOpenKeyExA", 2, ERROR_ACCESS_DENIED},
        NoticeCase{"QV041", "too long", "", 0, 0, 0, 0, "", std::string(40000, 'x')},
        NoticeCase{"QV104", "label.zpl\" could not be opened.\r\nWindows reports: The process",
                   "CreateFileA", 2, ERROR_SHARING_VIOLATION},
        NoticeCase{"QV105", "\"Zebra ZD421\" could not be opened.\r\nWindows reports: Access",
                   "OpenPrinterA", 1, ERROR_ACCESS_DENIED},
        NoticeCase{"QV105", "could not be opened", "OpenPrinterA", 1, ERROR_ACCESS_DENIED, 0, 0,
                   "RegisterEventSourceA"},
        NoticeCase{"QV106", "accept the label.\r\nCheck", "StartDocPrinterA", 1, 0xE0001234},
        NoticeCase{"QV110", "Not all", "ReadFile", 1, ERROR_READ_FAULT, 0, PRINTER_STATUS_PAUSED},
        NoticeCase{"QV112", "Not all", "WritePrinter", 2, ERROR_NOT_READY, 0, 0, "EndPagePrinter"},
        NoticeCase{"QV114", "may not print", "EndPagePrinter", 1, ERROR_NOT_READY},
        NoticeCase{nullptr, "", "GetFileSize", 1, ERROR_INVALID_HANDLE},  // it still prints
        NoticeCase{nullptr, "", "", 0, 0, 0, PRINTER_STATUS_BUSY},
        NoticeCase{"QV117", "\"Zebra ZD421\" is set to \"Use Printer Offline\"", "", 0, 0,
                   PRINTER_ATTRIBUTE_WORK_OFFLINE},
        NoticeCase{"QV118", "paused for \"Zebra ZD421\"", "", 0, 0, 0, PRINTER_STATUS_PAUSED},
        NoticeCase{"QV119", "offline.", "", 0, 0, 0, PRINTER_STATUS_OFFLINE},
        NoticeCase{"QV120", "out of paper.", "", 0, 0, 0, PRINTER_STATUS_PAPER_OUT},
        NoticeCase{"QV121", "in an error state.", "", 0, 0, 0, PRINTER_STATUS_PAPER_JAM},
        NoticeCase{nullptr, "", "GetPrinterA", 3, ERROR_ACCESS_DENIED, 0, PRINTER_STATUS_PAUSED},
        NoticeCase{nullptr, "", "LocalAlloc", 2, ERROR_OUTOFMEMORY, 0, PRINTER_STATUS_PAUSED},
        // Sent, but to a driver or port that passes nothing on; also without Notify, and
        // before the printer's own state.
        NoticeCase{"QV122", "Windows' driver \"Microsoft Print To PDF\" passes no labels", "",
                   0, 0, 0, PRINTER_STATUS_PAUSED, "", "", "Microsoft Print To PDF"},
        NoticeCase{"QV123", "port \"nul:\" passes no labels", "", 0, 0, 0, 0, "", "",
                   "ZDesigner ZD421", "USB001, nul:"},
        // Easy Print makes the write fail: the failure stays, with the driver as its cause.
        NoticeCase{"QV112", "\"Remote Desktop Easy Print\" passes no labels on to a printer.\r\n"
                   "Ask whoever looks after this computer to choose", "", 0, 0, 0, 0, "", "",
                   "Remote Desktop Easy Print"}));

// Only a REG_DWORD of 1 shows a notice, one at a time across copies; the longest printer
// name and log path are shown whole, and a run without a log names none.
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

        // The event carries the run's lines, also where there is no log file.
        EXPECT_NE(world().events.at(0).strings[2].find("QV105: Failed to open printer"),
                  std::string::npos);
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
