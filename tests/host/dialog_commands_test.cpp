// The dialog's Setup..., Test and Show Remote Printers: none of them saves anything.
#include <winsock2.h>
#include <windows.h>
#include <commdlg.h>

#include "app/globals.h"
#include "app/log.h"
#include "res/resource.h"
#include "test_support.h"

namespace {

const std::string kOpened = Entry("QV014", "Initialization complete");

class DialogCommands : public QuvaraTest {
protected:
    void SetUp() override
    {
        QuvaraTest::SetUp();
        OpenLog();
        SavePrinter("Saved");
        ListPrinter("Saved");
        ListPrinter("Other");
        world().remotePrinters = {"\\\\depot\\Remote"};
        OpenDialog();
    }
    // The entries after the dialog's opening.
    std::string LogAfterOpening()
    {
        std::string log = FinishLog();
        return log.substr(log.find(kOpened) + kOpened.size());
    }
    std::string Selected(const std::string& name)
    {
        return Join({Entry("QV020", "Get selected printer"), Entry("QV021", "Found selected printer"),
                     Entry("QV022", name)});
    }
    void ExpectNothingSaved()
    {
        EXPECT_EQ(fake::CountCalls("RegSetValueExA"), 0);
        EXPECT_TRUE(world().dialogEnds.empty()) << "the dialog stays open";
    }
};

TEST_F(DialogCommands, TestSendsThePickedFileToTheSelectedPrinter)
{
    std::string label = MakeFile("label.txt", std::string("^XA\r\n\xC9\0^XZ", 9));
    world().openFileAnswers = {label};
    PrinterList().selection = 1;

    EXPECT_EQ(Command(IDC_TEST), TRUE);

    ASSERT_EQ(world().openFileRequests.size(), 1u);
    const fake::OpenFileRequest& request = world().openFileRequests[0];
    EXPECT_EQ(request.size, sizeof(OPENFILENAMEA));
    EXPECT_EQ(request.owner, world().dialog);
    EXPECT_EQ(request.filter, (std::vector<std::string>{"Zebra Label (*.ZPL)", "*.ZPL",
                                                        "EPL Label (*.EPL)", "*.EPL;*.EPL2",
                                                        "All Files(*.*)", "*.*"}));
    EXPECT_EQ(request.filterIndex, 1u);
    EXPECT_EQ(request.maxFile, 500u);
    EXPECT_EQ(request.title, "Select a file to print");
    EXPECT_EQ(request.flags, (DWORD)(OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST));
    EXPECT_TRUE(request.fileCleared);
    EXPECT_TRUE(request.otherFieldsZero);
    ASSERT_EQ(world().jobs.size(), 1u);
    EXPECT_EQ(world().jobs[0].printer, "Other");
    EXPECT_EQ(world().jobs[0].accepted, ReadHostFile(label));
    EXPECT_EQ(LogAfterOpening(),
              Entry("QV026", "Testing configuration") + Selected("Other") +
                  Join({Entry("QV101", "Printing..."), Entry("QV102", label), Entry("QV103", "Other"),
                        Entry("QV111", "End-of-file"), Entry("QV028", "Test configuration complete")}));
    ExpectNothingSaved();
    ExpectNothingLeftOpen();
}

TEST_F(DialogCommands, TestWithoutAWholePathPrintsNothing)
{
    // Cancel; a path the 500-byte buffer cannot hold; the dialog failing.
    world().openFileAnswers = {"", folder() + "/" + std::string(600, 'x') + ".zpl", "unused"};
    fake::FailCall("GetOpenFileNameA", 0, 3);
    PrinterList().selection = 0;

    for (int i = 0; i < 3; ++i)
        Command(IDC_TEST);

    std::string attempt = Entry("QV026", "Testing configuration") + Selected("Saved") +
                          Entry("QV027", "No file selected");
    EXPECT_EQ(LogAfterOpening(), attempt + attempt + attempt);
    EXPECT_TRUE(world().jobs.empty());
    ExpectNothingSaved();
}

TEST_F(DialogCommands, SetupShowsTheDriversSheetOwnedByTheDialog)
{
    PrinterList().selection = 1;
    EXPECT_EQ(Command(IDC_SETUP), TRUE);
    // A listed name the spooler no longer knows.
    PrinterList().entries.push_back("Ghost");
    PrinterList().selection = 2;
    Command(IDC_SETUP);

    EXPECT_EQ(world().propertySheets, std::vector<std::string>{"Other"});
    EXPECT_EQ(LogAfterOpening(),
              Entry("QV023", "Displaying printer properties") + Selected("Other") +
                  Entry("QV025", "Printer settings displayed") +
                  Entry("QV023", "Displaying printer properties") + Selected("Ghost") +
                  ErrorEntry("QV024", "Couldn't open printer", ERROR_INVALID_PRINTER_NAME));
    ExpectNothingSaved();
    ExpectNothingLeftOpen();
}

TEST_F(DialogCommands, SetupAndTestWithoutASelectionOnlyAsk)
{
    PrinterList().selection = -1;

    Command(IDC_SETUP);
    Command(IDC_TEST);

    std::string ask = Entry("QV020", "Get selected printer");
    EXPECT_EQ(LogAfterOpening(), Entry("QV023", "Displaying printer properties") + ask +
                                     Entry("QV026", "Testing configuration") + ask);
    EXPECT_EQ(world().messageBoxes.size(), 2u);
    EXPECT_TRUE(fake::CallsAmong({"OpenPrinterA", "PrinterProperties", "GetOpenFileNameA"}).empty());
}

TEST_F(DialogCommands, RemotePrintersOnlyAfterTheWarningIsConfirmed)
{
    fake::Control& box = world().controls[IDC_SHOW_REMOTE];
    world().messageBoxAnswers = {IDCANCEL, IDOK};
    PrinterList().selection = 1;
    int listings = fake::CountCalls("EnumPrintersA");

    box.checked = BST_CHECKED;  // the box checks itself before the command arrives
    Command(IDC_SHOW_REMOTE);
    EXPECT_EQ(box.checked, (UINT)BST_UNCHECKED);
    EXPECT_EQ(PrinterList().selection, 1) << "the list is left alone";
    EXPECT_EQ(fake::CountCalls("EnumPrintersA"), listings);

    box.checked = BST_CHECKED;
    Command(IDC_SHOW_REMOTE);
    EXPECT_EQ(box.checked, (UINT)BST_CHECKED);
    EXPECT_EQ(PrinterList().entries, (std::vector<std::string>{"Saved", "Other", "\\\\depot\\Remote"}));
    EXPECT_EQ(PrinterList().selection, 0) << "the saved printer again";

    box.checked = BST_UNCHECKED;
    Command(IDC_SHOW_REMOTE);
    EXPECT_EQ(PrinterList().entries, (std::vector<std::string>{"Saved", "Other"}));

    ASSERT_EQ(world().messageBoxes.size(), 2u);
    const fake::ShownMessageBox& warning = world().messageBoxes[0];
    EXPECT_EQ(warning.owner, (HWND)NULL);
    EXPECT_EQ(warning.text,
              "Getting the list of remote printers may take few minutes. Do you want to proceed?");
    EXPECT_EQ(warning.caption, "Show remote printers");
    EXPECT_EQ(warning.type, 0x40031u);
    ExpectNothingSaved();
    CloseLog();
    ExpectNothingLeftOpen();
}

}  // namespace

namespace {

// An address written in the dialog (the end-to-end test prints to one): Test says in a box
// why a label did not print, with a wait cursor meanwhile and one try only; an address that
// cannot be read is refused, by Test and by OK, which keeps the dialog open.
TEST_F(DialogCommands, AnAddressIsTestedAndOneThatCannotBeReadIsRefused)
{
    world().openFileAnswers = {MakeFile("label.zpl", "^XA^XZ")};
    world().network = {{"q", WSAECONNREFUSED}};
    for (const char* address : {"tcp://q", "tcp://q x"}) {
        world().controls[IDC_PRINTER_ADDRESS].text = address;
        EXPECT_EQ(Command(IDC_TEST_ADDRESS), TRUE);
    }
    Command(IDOK);

    ASSERT_EQ(world().messageBoxes.size(), 3u);
    EXPECT_TRUE(world().messageBoxes[0].text.starts_with(
        "The label was not printed: the printer at \"tcp://q\" refused the connection."));
    EXPECT_EQ(world().messageBoxes[0].type, (UINT)(MB_OK | MB_ICONERROR));
    EXPECT_EQ(world().messageBoxes[0].owner, world().dialog);
    for (size_t i : {1, 2})
        EXPECT_TRUE(world().messageBoxes[i].text.starts_with("Quvara cannot read the network"));
    EXPECT_EQ(world().network[0].connects, 1);
    EXPECT_EQ(fake::CountCalls("SetCursor"), 2);
    EXPECT_EQ(world().cursor, nullptr) << "the wait cursor is gone";
    ExpectNothingSaved();
    EXPECT_NE(FinishLog().find(Join({Entry("QV047", "Testing printer address"),
                                     Entry("QV044", "Reading printer address"),
                                     Entry("QV045", "tcp://q x"), Entry("QV046", "Not a printer address")})),
              std::string::npos);
    ExpectNothingLeftOpen();
}

}  // namespace
