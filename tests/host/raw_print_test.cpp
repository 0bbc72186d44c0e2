// Sending a file to the spooler: chunking, byte fidelity, and every failure path.
#include <winsock2.h>

#include <fstream>
#include <sstream>

#include "app/globals.h"
#include "app/log.h"
#include "print/address_print.h"
#include "print/raw_print.h"
#include "test_support.h"

namespace {

const char kPrinter[] = "Zebra ZD421";

class RawPrint : public QuvaraTest {
protected:
    void SetUp() override
    {
        QuvaraTest::SetUp();
        AddPrinter(kPrinter);
        OpenLog();
    }

    // Prints and returns the log's entries after the three opening ones.
    std::string Print(const std::string& path, const char* printer = kPrinter)
    {
        EXPECT_EQ(PrintFileRaw(printer, path.c_str()), 0);
        CloseLog();
        std::string opening = Join({Entry("QV101", "Printing..."), Entry("QV102", path),
                                    Entry("QV103", printer)});
        std::string log = Log();
        EXPECT_EQ(log.substr(0, opening.size()), opening);
        return log.size() >= opening.size() ? log.substr(opening.size()) : log;
    }

    std::vector<std::string> SpoolerCalls()
    {
        return fake::CallsAmong({"OpenPrinterA", "StartDocPrinterA", "StartPagePrinter",
                                 "WritePrinter", "EndPagePrinter", "EndDocPrinter",
                                 "ClosePrinter"});
    }
};

fake::Bytes Pattern(size_t size)
{
    fake::Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = (BYTE)(i * 7 + i / 256);
    return bytes;
}

struct ChunkCase {
    size_t fileSize;
    std::vector<size_t> chunks;
};

void PrintTo(const ChunkCase& c, std::ostream* out)
{
    *out << c.fileSize << " bytes";
}

class Chunking : public RawPrint, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(Chunking, SendsTheFileIn1024ByteChunksUntilAReadReturnsNothing)
{
    const ChunkCase& c = GetParam();
    fake::Bytes content = Pattern(c.fileSize);
    std::string path = MakeFile("label.zpl", content);

    EXPECT_EQ(Print(path), Entry("QV111", "End-of-file"));

    ASSERT_EQ(world().jobs.size(), 1u);
    const fake::Job& job = world().jobs[0];
    EXPECT_EQ(job.ChunkSizes(), c.chunks);
    EXPECT_EQ(job.accepted, content);
    EXPECT_EQ(job.printer, kPrinter);
    EXPECT_EQ(job.documentName, path);
    EXPECT_EQ(job.datatype, "RAW");
    EXPECT_EQ(job.pages, 1);
    EXPECT_TRUE(job.ended);
    EXPECT_EQ(fake::CountCalls("ReadFile"), (int)c.chunks.size() + 1);
    ExpectNothingLeftOpen();
}

INSTANTIATE_TEST_SUITE_P(Sizes, Chunking,
                         ::testing::Values(ChunkCase{0, {}}, ChunkCase{1, {1}},
                                           ChunkCase{1023, {1023}}, ChunkCase{1024, {1024}},
                                           ChunkCase{1025, {1024, 1}},
                                           ChunkCase{2048, {1024, 1024}},
                                           ChunkCase{3000, {1024, 1024, 952}}),
                         [](const auto& info) {
                             return "Bytes" + std::to_string(info.param.fileSize);
                         });

TEST_F(RawPrint, EveryByteValueArrivesUnchanged)
{
    fake::Bytes content;
    for (int round = 0; round < 9; ++round)
        for (int value = 0; value < 256; ++value)
            content.push_back((BYTE)(round % 2 ? 255 - value : value));
    content.insert(content.end(), {'\r', '\n', 0, '\n', '\r', 0x1A, 0x80});
    std::string path = MakeFile("all bytes.bin", content);

    Print(path);

    ASSERT_EQ(world().jobs.size(), 1u);
    EXPECT_EQ(world().jobs[0].accepted, content);
}

TEST_F(RawPrint, PrinterTheSpoolerDoesNotKnowCreatesNoJob)
{
    std::string path = MakeFile("label.zpl", "^XA^XZ");

    EXPECT_EQ(Print(path, "No such printer"),
              ErrorEntry("QV105", "Failed to open printer", ERROR_INVALID_PRINTER_NAME));

    EXPECT_TRUE(world().jobs.empty());
    EXPECT_EQ(SpoolerCalls(), (std::vector<std::string>{"OpenPrinterA"}));
    ExpectNothingLeftOpen();
}

TEST_F(RawPrint, MissingFileNeverReachesTheSpooler)
{
    EXPECT_EQ(Print(folder() + "/gone.zpl"),
              ErrorEntry("QV104", "Failed to open file", ERROR_FILE_NOT_FOUND));

    EXPECT_TRUE(SpoolerCalls().empty());
    ExpectNothingLeftOpen();
}

TEST_F(RawPrint, FileOpenForWritingElsewhereCannotBePrinted)
{
    std::string path = MakeFile("label.zpl", "^XA^XZ");
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);

    EXPECT_EQ(Print(path), ErrorEntry("QV104", "Failed to open file", ERROR_SHARING_VIOLATION));

    EXPECT_TRUE(SpoolerCalls().empty());
    CloseHandle(writer);
}

// Another program holding the label: its readers are shared with, its writers are not.
struct SharingCase {
    const char* name;
    DWORD access, share;
    bool prints;
};

class Sharing : public RawPrint, public ::testing::WithParamInterface<SharingCase> {};

TEST_P(Sharing, ReadersAreWelcomeWritersAreNot)
{
    const SharingCase& c = GetParam();
    std::string path = MakeFile("label.zpl", "^XA^XZ");
    HANDLE other = CreateFileA(path.c_str(), c.access, c.share, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);

    std::string entries = Print(path);

    EXPECT_EQ(world().jobs.size(), c.prints ? 1u : 0u);
    if (!c.prints) {
        EXPECT_EQ(entries, ErrorEntry("QV104", "Failed to open file", ERROR_SHARING_VIOLATION));
    }
    CloseHandle(other);
}

INSTANTIATE_TEST_SUITE_P(
    OtherPrograms, Sharing,
    ::testing::Values(SharingCase{"ReaderSharingReading", GENERIC_READ, FILE_SHARE_READ, true},
                      SharingCase{"ReaderSharingEverything", GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, true},
                      // A download still being written, which lets others read it.
                      SharingCase{"WriterSharingReading", GENERIC_WRITE, FILE_SHARE_READ, false}),
    [](const auto& info) { return std::string(info.param.name); });

// One failing platform call, the entries it leaves, and the spooler calls that follow it.
struct FailureCase {
    const char* name;
    const char* call;
    int nth;
    DWORD error;
    std::vector<std::string> entries;  // after the opening entries
    std::vector<std::string> spoolerCalls;
    size_t bytesAccepted;  // of the 2100-byte file
};

const std::vector<std::string> kWholeJob = {
    "OpenPrinterA", "StartDocPrinterA", "StartPagePrinter", "WritePrinter", "WritePrinter",
    "WritePrinter", "EndPagePrinter", "EndDocPrinter", "ClosePrinter"};

void PrintTo(const FailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class PrintFailure : public RawPrint, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PrintFailure, IsLoggedOnceAndTheJobIsClosedProperly)
{
    const FailureCase& c = GetParam();
    fake::Bytes content = Pattern(2100);
    std::string path = MakeFile("label.zpl", content);
    fake::FailCall(c.call, c.error, c.nth);

    EXPECT_EQ(Print(path), Join(c.entries));

    EXPECT_EQ(SpoolerCalls(), c.spoolerCalls);
    if (!world().jobs.empty()) {
        EXPECT_EQ(world().jobs[0].accepted,
                  fake::Bytes(content.begin(), content.begin() + c.bytesAccepted));
    }
    ExpectNothingLeftOpen();
}

INSTANTIATE_TEST_SUITE_P(
    Calls, PrintFailure,
    ::testing::Values(
        FailureCase{"OpenFile", "CreateFileA", 1, ERROR_ACCESS_DENIED,
                    {ErrorEntry("QV104", "Failed to open file", ERROR_ACCESS_DENIED)}, {}, 0},
        FailureCase{"OpenPrinter", "OpenPrinterA", 1, ERROR_ACCESS_DENIED,
                    {ErrorEntry("QV105", "Failed to open printer", ERROR_ACCESS_DENIED)},
                    {"OpenPrinterA"}, 0},
        FailureCase{"StartDocument", "StartDocPrinterA", 1, ERROR_INVALID_DATATYPE,
                    {ErrorEntry("QV106", "Couldn't create a job", ERROR_INVALID_DATATYPE)},
                    {"OpenPrinterA", "StartDocPrinterA", "ClosePrinter"}, 0},
        FailureCase{"StartPage", "StartPagePrinter", 1, ERROR_NOT_READY,
                    {ErrorEntry("QV107", "Couldn't start new page", ERROR_NOT_READY)},
                    {"OpenPrinterA", "StartDocPrinterA", "StartPagePrinter", "EndDocPrinter",
                     "ClosePrinter"},
                    0},
        FailureCase{"FileSize", "GetFileSize", 1, ERROR_INVALID_HANDLE,
                    {ErrorEntry("QV108", "Can't get file size", ERROR_INVALID_HANDLE),
                     Entry("QV111", "End-of-file")},
                    kWholeJob, 2100},
        FailureCase{"FilePointer", "SetFilePointer", 1, ERROR_NEGATIVE_SEEK,
                    {ErrorEntry("QV109", "Can't set file pointer", ERROR_NEGATIVE_SEEK),
                     Entry("QV111", "End-of-file")},
                    kWholeJob, 2100},
        FailureCase{"SecondRead", "ReadFile", 2, ERROR_READ_FAULT,
                    {ErrorEntry("QV110", "Can't read file", ERROR_READ_FAULT)},
                    {"OpenPrinterA", "StartDocPrinterA", "StartPagePrinter", "WritePrinter",
                     "EndPagePrinter", "EndDocPrinter", "ClosePrinter"},
                    1024},
        FailureCase{"SecondWrite", "WritePrinter", 2, ERROR_PRINTER_DELETED,
                    {ErrorEntry("QV112", "Can't write to printer", ERROR_PRINTER_DELETED)},
                    {"OpenPrinterA", "StartDocPrinterA", "StartPagePrinter", "WritePrinter",
                     "WritePrinter", "EndPagePrinter", "EndDocPrinter", "ClosePrinter"},
                    1024},
        FailureCase{"EndPage", "EndPagePrinter", 1, ERROR_NOT_READY,
                    {Entry("QV111", "End-of-file"),
                     ErrorEntry("QV114", "Couldn't complete page", ERROR_NOT_READY)},
                    kWholeJob, 2100},
        FailureCase{"EndDocument", "EndDocPrinter", 1, ERROR_NOT_READY,
                    {Entry("QV111", "End-of-file"),
                     ErrorEntry("QV115", "Failed to close the job", ERROR_NOT_READY)},
                    kWholeJob, 2100}),
    [](const auto& info) { return std::string(info.param.name); });

// An XPS-based driver gets XPS_PASS, found by the queue's driver name (without case) among
// the machine's own drivers, then, only when it is not there, among every environment's;
// any other driver, and one that cannot be asked, gets RAW with the log as it always was.
// The queue is never asked for its driver: that would install it.
TEST_F(RawPrint, TheDriverDecidesBetweenRawAndXpsPass)
{
    const DWORD xpsFlag = 0x2;
    const USHORT x64 = IMAGE_FILE_MACHINE_AMD64, arm64 = IMAGE_FILE_MACHINE_ARM64,
                 x86 = IMAGE_FILE_MACHINE_I386;
    // The machine's own drivers (none there: one call), then every environment's.
    const std::vector<std::string> nativeThenAll = {"Windows x64", "all", "all"};
    const struct {
        std::vector<fake::InstalledDriver> drivers;
        const char* call;
        int nth;
        bool xps;
        USHORT machine = x64;
        std::vector<std::string> asked = {"Windows x64", "Windows x64"};
    } cases[] = {
        {{{"Windows NT x86", "Label", xpsFlag | 0x1}}, "", 0, true, x64, nativeThenAll},
        {{{"Windows NT x86", "Label", 0x1}}, "", 0, false, x64, nativeThenAll},
        // Only a 64-bit driver, after another one.
        {{{"Windows x64", "Other", xpsFlag}, {"Windows x64", "Label", xpsFlag}}, "", 0, true},
        {{{"Windows x64", "LABEL", xpsFlag}}, "", 0, true},
        {{{"Windows ARM64", "Label", xpsFlag}}, "", 0, true, x64, nativeThenAll},
        {{{"Windows ARM64", "Label", xpsFlag}}, "", 0, true, arm64, {"Windows ARM64", "Windows ARM64"}},
        {{{"Windows NT x86", "Label", xpsFlag}}, "", 0, true, x86, {"", ""}},
        {{{"Windows x64", "Label ", xpsFlag}}, "", 0, false, x64,
         {"Windows x64", "Windows x64", "all", "all"}},
        {{}, "", 0, false, x64, {"Windows x64", "all"}},
        {{{"Windows x64", "Label", xpsFlag}}, "GetPrinterA", 1, false, x64, {}},
        {{{"Windows x64", "Label", xpsFlag}}, "GetPrinterA", 2, false, x64, {}},
        {{{"Windows x64", "Label", xpsFlag}}, "LocalAlloc", 2, false, x64, {"Windows x64"}},
        {{{"Windows x64", "Label", xpsFlag}}, "EnumPrinterDriversA", 2, false}};
    fake::Bytes content = Pattern(1500);
    std::string path = MakeFile("label.zpl", content);
    for (const auto& c : cases) {
        fake::Reset();
        world().tempPath = folder() + "/";
        AddPrinter(kPrinter);
        world().printerDrivers[kPrinter] = "Label";
        world().installedDrivers = c.drivers;
        world().nativeMachine = c.machine;
        fake::FailCall(c.call, ERROR_INVALID_HANDLE, c.nth);
        OpenLog();

        EXPECT_EQ(Print(path), (c.xps ? Entry("QV116", "XPS driver: printing with datatype XPS_PASS")
                                      : "") + Entry("QV111", "End-of-file"));

        EXPECT_EQ(world().driverEnvironments, c.asked);
        ASSERT_EQ(world().jobs.size(), 1u);
        EXPECT_EQ(world().jobs[0].datatype, c.xps ? "XPS_PASS" : "RAW");
        EXPECT_EQ(world().jobs[0].accepted, content);
        ExpectNothingLeftOpen();
    }
}

// Windows' own drivers and ports that pass nothing on to a printer, by name or (Windows 8
// and later) by the installed driver's category, get the label as always and a warning in
// the log; no other does. Easy Print fails the write: the failure names the driver.
TEST_F(RawPrint, AQueueThatPassesNoLabelsIsNamed)
{
    const struct {
        std::string driver;
        DWORD attributes;  // its category
        std::string ports, warning;  // after "Label will not come out of a label printer: "
    } cases[] = {
        {"Terminal Services Easy Print", 0, "TS001", "driver"},
        {"microsoft print to pdf", 0, "PORTPROMPT:", "driver"},
        {"Microsoft XPS Document Writer", 0, "XPSPort:", "driver"},
        {"Send to Microsoft OneNote 16 Driver", 0, "nul:", "driver"},
        {"Microsoft Software Printer Driver", 0, "USB001", "driver"},
        {"Microsoft Shared Fax Driver", 0, "SHRFAX:", "driver"},
        {"Acme PDF", 0x80, "USB001", "driver"},
        {"Acme Cloud", 0x200, "USB001", "driver"},
        {"ZDesigner ZD421", 0, "nul:", "port nul:"},
        {"ZDesigner ZD421", 0, "USB001, FILE: ", "port FILE:"},
        {"ZDesigner ZD421", 0, "USB001,shrfax:", "port shrfax:"},
        {"ZDesigner ZD421", 0x1, "USB001", ""},
        {"ZDesigner ZD421", 0, "TS002", ""},
        {"ZDesigner ZD421", 0, "NUL0:,LPT1:", ""},
        {"Microsoft IPP Class Driver", 0, "WSD-1", ""},
        {"OneNote (Desktop)", 0, "USB001", ""},
        {"Remote Desktop Easy Print", 0, "TS003", "fails"}};
    std::string path = MakeFile("label.zpl", "^XA^XZ");
    CloseLog();  // each case logs anew
    for (const auto& c : cases) {
        world().printerDrivers[kPrinter] = c.driver;
        world().printerPorts[kPrinter] = c.ports;
        world().installedDrivers = {{"Windows x64", c.driver, c.attributes}};
        OpenLog();
        std::string warning = "Label will not come out of a label printer: " +
                              (c.warning == "driver" ? "driver " + c.driver : c.warning);
        std::string entries =
            c.warning == "fails" ? ErrorEntry("QV112", "Can't write to printer. Windows' driver " +
                                                           c.driver + " passes no labels on to a printer",
                                              ERROR_NOT_SUPPORTED)
            : c.warning.empty() ? Entry("QV111", "End-of-file")
                                : Entry("QV111", "End-of-file") +
                                      Entry(c.warning == "driver" ? "QV122" : "QV123", warning);
        EXPECT_EQ(Print(path), entries) << c.driver << " on " << c.ports;
    }
    EXPECT_EQ(world().jobs.size(), std::size(cases)) << "each label is sent";
}

TEST_F(RawPrint, EndDocumentFailingAfterAFailedPageEndIsNotLoggedAgain)
{
    std::string path = MakeFile("label.zpl", "^XA^XZ");
    fake::FailCall("EndPagePrinter", ERROR_NOT_READY);
    fake::FailCall("EndDocPrinter", ERROR_NOT_READY);

    EXPECT_EQ(Print(path), Entry("QV111", "End-of-file") +
                               ErrorEntry("QV114", "Couldn't complete page", ERROR_NOT_READY));
    ExpectNothingLeftOpen();
}

TEST_F(RawPrint, ShortWriteStopsTheTransferAndCarriesTheStandingError)
{
    std::string path = MakeFile("label.zpl", Pattern(3000));
    // An earlier failure leaves its code standing; the short write sets none.
    fake::FailCall("SetFilePointer", ERROR_NEGATIVE_SEEK);
    fake::ShortWrite(2, 100);

    EXPECT_EQ(Print(path),
              ErrorEntry("QV109", "Can't set file pointer", ERROR_NEGATIVE_SEEK) +
                  ErrorEntry("QV113", "Read-write size mismatch", ERROR_NEGATIVE_SEEK));

    ASSERT_EQ(world().jobs.size(), 1u);
    EXPECT_EQ(world().jobs[0].ChunkSizes(), (std::vector<size_t>{1024, 1024}));
    EXPECT_EQ(world().jobs[0].accepted.size(), 1124u);
    EXPECT_TRUE(world().jobs[0].ended) << "the job is ended, never cancelled";
    ExpectNothingLeftOpen();
}

TEST_F(RawPrint, TransferBufferIsClearedBeforeEveryRead)
{
    // The last, short chunk must not carry bytes of the chunk before it.
    std::string path = MakeFile("label.zpl", Pattern(1030));

    Print(path);

    for (size_t i = 6; i < sizeof(g_transferBuffer); ++i)
        ASSERT_EQ(g_transferBuffer[i], 0) << i;
}

}  // namespace

namespace {

// The addresses that are a printer's (the installer reads the same table) and where they
// lead; any value beginning "tcp:" is meant as one.
TEST(PrinterAddress, IsTcpWithAHostAndAPortAndNothingElse)
{
    std::ifstream table(std::string(QUVARA_SOURCE_DIR) + "/tests/printer-addresses.txt");
    std::string line, verdict, text, host, port;
    int rows = 0;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        if (line.empty() || line[0] == '#' || !(fields >> verdict >> text))
            continue;
        ++rows;
        char parsedHost[HOST_SIZE] = "", parsedPort[PORT_SIZE] = "";
        EXPECT_TRUE(IsPrinterAddress(text.c_str())) << text;
        EXPECT_EQ(ParsePrinterAddress(text.c_str(), parsedHost, parsedPort), verdict == "ok") << text;
        if (verdict == "ok" && fields >> host >> port) {
            EXPECT_EQ(parsedHost, host);
            EXPECT_EQ(parsedPort, port);
        }
    }
    EXPECT_EQ(rows, 47);
    EXPECT_FALSE(IsPrinterAddress("tcp") || IsPrinterAddress("Zebra tcp://a"));
}

// Straight to a printer's address, where the end-to-end tests cannot reach: what arrives,
// what the log ends with, and when.
TEST_F(RawPrint, AnAddressGetsTheWholeLabelOnceOrTheReasonWhyNot)
{
    const fake::Bytes label = Pattern(3000);
    const int reset = WSAECONNRESET, refused = WSAECONNREFUSED, silent = WSAETIMEDOUT;
    const std::string connected = Entry("QV137", "Connected to the printer"),
                      sent = connected + Entry("QV111", "End-of-file"),
                      printed = sent + Entry("QV140", "Printer closed the connection");
    const struct {
        const char* name;
        std::vector<fake::NetworkPrinter> network;
        std::string address, entries;
        size_t received;
        DWORD seconds;  // on the clock at the end
        int connects;   // of the last printer
        size_t piece = SIZE_MAX;
    } cases[] = {
        {"TakesSmallPieces", {{"p", refused}, {"p"}}, "tcp://p:9101/", printed, 3000, 0, 1, 100},
        {"StaysOpen", {{"p", 0, 0, SIZE_MAX, silent}}, "tcp://p",
         sent + Entry("QV141", "Printer kept the connection open"), 3000, 15, 1},
        {"ResetsAfterTheLastByte", {{"p", 0, 0, SIZE_MAX, reset}}, "tcp://p",
         sent + ErrorEntry("QV139", "Label sent, but the printer did not confirm it", reset), 3000, 0, 1},
        {"DropsTheConnection", {{"p", 0, 0, 1500}}, "tcp://p",
         connected + ErrorEntry("QV138", "Connection lost before the whole label went; bytes Windows "
                                         "took: 1500", reset), 1500, 0, 1},
        {"Refuses", {{"p", refused}}, "tcp://p",
         ErrorEntry("QV135", "Printer refused the connection", refused), 0, 27, 11},
        {"IsSilent", {{"p", silent}}, "tcp://p", ErrorEntry("QV136", "Printer did not answer", silent),
         0, 31, 6},
        {"UnknownName", {}, "tcp://p", ErrorEntry("QV134", "Printer address unknown", WSAHOST_NOT_FOUND),
         0, 0, 0},
        {"NotAnAddress", {{"p"}}, "tcp://p:0", Entry("QV130", "Not a printer address"), 0, 0, 0}};
    std::string path = MakeFile("label.zpl", label);
    CloseLog();
    for (const auto& c : cases) {
        fake::Reset();
        world().tempPath = folder() + "/";
        world().network = c.network;
        world().sendPiece = c.piece;
        OpenLog();

        EXPECT_EQ(Print(path, c.address.c_str()), c.entries) << c.name;

        const fake::NetworkPrinter* last = c.network.empty() ? nullptr : &world().network.back();
        EXPECT_EQ(last ? last->received : fake::Bytes(),
                  fake::Bytes(label.begin(), label.begin() + (long)c.received))
            << c.name;
        EXPECT_EQ(world().clock / 1000, c.seconds) << c.name;
        EXPECT_EQ(last ? last->connects : 0, c.connects) << c.name;
        EXPECT_EQ(g_printerPort, c.address) << "the event's port";
        // Winsock is loaded only for an address, and unloaded only after the connection
        // is closed, which a whole label's is gracefully.
        std::vector<std::string> order = fake::CallsAmong(
            {"LoadLibraryA", "shutdown", "closesocket", "WSACleanup", "FreeLibrary"});
        std::vector<std::string> end = {"WSACleanup", "FreeLibrary"};
        if (c.received == label.size())
            end.insert(end.begin(), {"shutdown", "closesocket"});
        EXPECT_EQ(order.empty(), c.name == std::string("NotAnAddress"));
        EXPECT_TRUE(order.empty() || std::equal(end.rbegin(), end.rend(), order.rbegin())) << c.name;
        EXPECT_TRUE(world().jobs.empty());
        ExpectNothingLeftOpen();
    }
}

// Copies take turns at one printer; one that waits 2 minutes in vain sends nothing. A
// Winsock that cannot start sends nothing either. The setup's Test asks only once.
TEST_F(RawPrint, AnAddressIsUsedInTurnAndTheTestAsksOnce)
{
    std::string path = MakeFile("label.zpl", "^XA^XZ");
    CloseLog();
    world().network = {{"p", WSAECONNREFUSED}};
    world().otherCopysMutexes.insert("Quvara printer p 9100");
    OpenLog();
    EXPECT_EQ(Print(path, "tcp://P"),
              Entry("QV131", "Waiting for another copy of Quvara printing to the address") +
                  ErrorEntry("QV132", "Another copy of Quvara kept the printer for 2 minutes",
                             WAIT_TIMEOUT));
    EXPECT_EQ(world().clock, 120000u);

    world().otherCopysMutexes.clear();
    fake::FailCall("WSAStartup", WSASYSNOTREADY);
    OpenLog();
    EXPECT_EQ(Print(path, "tcp://p"),
              ErrorEntry("QV133", "Windows' network could not be used", WSASYSNOTREADY));

    g_dialog = (HWND)0xD1A;
    OpenLog();
    EXPECT_EQ(Print(path, "tcp://p"),
              ErrorEntry("QV135", "Printer refused the connection", WSAECONNREFUSED));
    EXPECT_EQ(world().network[0].connects, 1);
    g_dialog = NULL;
    EXPECT_EQ(world().network[0].received, fake::Bytes());
    ExpectNothingLeftOpen();
}

}  // namespace
