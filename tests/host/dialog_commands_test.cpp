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

// An address written in the dialog: Test tells in a box what became of the label, with a
// wait cursor meanwhile; OK refuses an address it cannot read and saves one it can, which
// the dialog shows when it opens again, its list as it was.
TEST_F(DialogCommands, AnAddressIsTestedSavedAndShownAgain)
{
    std::string label = MakeFile("label.zpl", "^XA^XZ");
    world().openFileAnswers = {label, label};
    world().network = {{"p"}, {"q", WSAECONNREFUSED}};
    const struct {
        const char* address;
        const char* box;
        UINT icon;
    } tests[] = {{"tcp://p", "The printer at \"tcp://p\" took the whole test label.", MB_ICONINFORMATION},
                 {"tcp://q", "The label was not printed: the printer at \"tcp://q\" refused", MB_ICONERROR},
                 {"tcp://q x", "Quvara cannot read the network label printer's address.", MB_ICONERROR}};
    for (const auto& t : tests) {
        world().controls[IDC_PRINTER_ADDRESS].text = t.address;
        EXPECT_EQ(Command(IDC_TEST_ADDRESS), TRUE);
        const fake::ShownMessageBox& box = world().messageBoxes.back();
        EXPECT_TRUE(box.text.starts_with(t.box)) << box.text;
        EXPECT_EQ(box.type, (UINT)(MB_OK | t.icon));
        EXPECT_EQ(box.owner, world().dialog);
    }
    EXPECT_EQ(world().network[0].received, ReadHostFile(label));
    EXPECT_EQ(world().network[1].connects, 1) << "a test asks once";
    EXPECT_EQ(fake::CountCalls("SetCursor"), 4);
    EXPECT_EQ(world().cursor, nullptr) << "the wait cursor is gone";
    ExpectNothingSaved();

    Command(IDOK);
    EXPECT_TRUE(world().dialogEnds.empty()) << "\"tcp://q x\" is no address";
    world().controls[IDC_PRINTER_ADDRESS].text = "tcp://[::1]:9101";
    Command(IDOK);
    EXPECT_EQ(world().dialogEnds, std::vector<INT_PTR>{1});
    EXPECT_EQ(fake::FindRegistryValue("HKLM\\Software\\Pellander\\Quvara", "Printer")->data,
              fake::Bytes({'t', 'c', 'p', ':', '/', '/', '[', ':', ':', '1', ']', ':', '9', '1', '0', '1', 0}));
    world().controls[IDC_PRINTER_ADDRESS].text.clear();
    OpenDialog();
    EXPECT_EQ(world().controls[IDC_PRINTER_ADDRESS].text, "tcp://[::1]:9101");
    EXPECT_EQ(PrinterList().entries, (std::vector<std::string>{"Saved", "Other"}));
    EXPECT_NE(FinishLog().find(Join({Entry("QV047", "Testing printer address"),
                                     Entry("QV044", "Reading printer address"), Entry("QV045", "tcp://p")})),
              std::string::npos);
    ExpectNothingLeftOpen();
}

}  // namespace
