// The setup dialog: its printer list, reading the selection, OK and Cancel.
#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "res/resource.h"
#include "test_support.h"
#include "ui/config_dialog.h"
#include "ui/printer_list.h"

namespace {

class SetupDialog : public QuvaraTest {
protected:
    void SetUp() override
    {
        QuvaraTest::SetUp();
        OpenLog();
    }
};

TEST_F(SetupDialog, OpeningListsThePrintersInOrderAndPreselectsTheSavedOne)
{
    SavePrinter("Zebra ZD421");
    for (const char* name : {"Office Laser", "Zebra ZD421", "\\\\depot\\Zebra GK420"})
        ListPrinter(name);

    EXPECT_EQ(OpenDialog(), TRUE);

    EXPECT_EQ(g_dialog, world().dialog);
    EXPECT_EQ(PrinterList().entries,
              (std::vector<std::string>{"Office Laser", "Zebra ZD421", "\\\\depot\\Zebra GK420"}));
    EXPECT_EQ(PrinterList().selection, 1);
    std::string appIcon = "4194304:" + std::to_string(IDI_APP);
    EXPECT_EQ(world().icons, (std::map<WPARAM, std::string>{{ICON_BIG, appIcon}, {ICON_SMALL, appIcon}}));
    EXPECT_EQ(FinishLog(),
              Entry("QV004", "Initializing config dialog") + SavedPrinterLoadEntries("Zebra ZD421") +
                  Join({Entry("QVxxx", "Listing local and connected printers"),
                        Entry("QV005", "EnumPrinters query memory requirements"),
                        Entry("QV007", "Allocating memory"),
                        Entry("QV009", "EnumPrinters query list of printers"),
                        Entry("QV011", "Populating printer list"), Entry("QV012", "Office Laser"),
                        Entry("QV012", "Zebra ZD421"), Entry("QV012", "\\\\depot\\Zebra GK420"),
                        Entry("QV013", "Freeing memory"), Entry("QV014", "Initialization complete")}));
    ExpectNothingLeftOpen();
}

struct SelectionCase {
    const char* name;
    std::string saved;
    std::vector<std::string> local, remote;
    int includeRemote;
    DWORD platform;
    int selection;
    DWORD defaultPrinterAt = 99;  // the local record Windows 95/98/Me marks as default
};

void PrintTo(const SelectionCase& c, std::ostream* out)
{
    *out << c.name;
}

class Preselection : public SetupDialog, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(Preselection, FollowsTheSavedNameByteForByte)
{
    const SelectionCase& c = GetParam();
    SavePrinter(c.saved);
    for (size_t i = 0; i < c.local.size(); ++i)
        ListPrinter(c.local[i], i == c.defaultPrinterAt ? PRINTER_ATTRIBUTE_DEFAULT : 0);
    world().remotePrinters = c.remote;
    PrepareDialog();
    g_dialog = world().dialog;
    g_versionInfo.dwPlatformId = c.platform;

    EXPECT_EQ(FillPrinterList(c.includeRemote), TRUE);

    std::vector<std::string> listed = c.local;
    if (c.includeRemote && c.platform == VER_PLATFORM_WIN32_NT)
        listed.insert(listed.end(), c.remote.begin(), c.remote.end());
    EXPECT_EQ(PrinterList().entries, listed);
    EXPECT_EQ(PrinterList().selection, c.selection);
    EXPECT_NE(FinishLog().find("QV014"), std::string::npos);
    ExpectNothingLeftOpen();
}

const DWORD kNT = VER_PLATFORM_WIN32_NT, k9x = VER_PLATFORM_WIN32_WINDOWS;

INSTANTIATE_TEST_SUITE_P(
    Cases, Preselection,
    ::testing::Values(
        SelectionCase{"SavedNotListed", "Gone", {"A", "B"}, {}, 0, kNT, -1},
        SelectionCase{"LastEqualNameWins", "A", {"A", "B", "A"}, {}, 0, kNT, 2},
        // The platform's linguistic comparison takes each of these pairs for equal.
        SelectionCase{"SoftHyphenCounts", "Zebra", {"Zebra", "Zebra\xAD"}, {}, 0, kNT, 0},
        SelectionCase{"SharpSIsNotSs", "Stra\xDF" "e", {"Stra\xDF" "e", "Strasse"}, {}, 0, kNT, 0},
        SelectionCase{"CaseCounts", "zebra", {"zebra", "Zebra"}, {}, 0, kNT, 0},
        SelectionCase{"APrefixIsNotTheName", "Zebra ZD421", {"Zebra ZD421", "Zebra ZD421 (2)"}, {}, 0,
                      kNT, 0},
        SelectionCase{"RemoteEntryAfterTheLocalOnes", "C", {"A", "B"}, {"X", "C"}, 1, kNT, 3},
        SelectionCase{"RemoteNameEqualToALocalOneWins", "A", {"A", "B"}, {"A"}, 1, kNT, 2},
        SelectionCase{"NoRemoteListingOutsideNT", "A", {"A"}, {"A"}, 1, k9x, 0},
        SelectionCase{"DefaultPrinterWhenNothingSaved9x", "", {"A", "B", "C"}, {}, 0, k9x, 1, 1},
        SelectionCase{"SavedPrinterBeatsDefault9x", "A", {"A", "B", "C"}, {}, 0, k9x, 0, 1},
        SelectionCase{"DefaultIgnoredOnNT", "", {"A", "B"}, {}, 0, kNT, -1, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// A failing listing ends the fill: what was added stays, nothing is selected.
struct ListingFailureCase {
    const char* name;
    const char* call;
    int nth;
    DWORD error;
    int includeRemote;
    std::string lastEntries;
    size_t entriesLeft;
};

void PrintTo(const ListingFailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class ListingFailure : public SetupDialog, public ::testing::WithParamInterface<ListingFailureCase> {};

TEST_P(ListingFailure, EndsTheFillWithoutASelection)
{
    const ListingFailureCase& c = GetParam();
    SavePrinter("B");
    ListPrinter("A");
    ListPrinter("B");
    world().remotePrinters = {"R"};
    if (c.call[0] != '\0')
        fake::FailCall(c.call, c.error, c.nth);
    else  // nothing to list: the size query succeeds, an earlier call's error standing
        world().localPrinters.clear(), world().lastError = ERROR_FILE_NOT_FOUND;
    PrepareDialog();
    g_dialog = world().dialog;

    EXPECT_EQ(FillPrinterList(c.includeRemote), TRUE);

    std::string log = FinishLog();
    ASSERT_GE(log.size(), c.lastEntries.size());
    EXPECT_EQ(log.substr(log.size() - c.lastEntries.size()), c.lastEntries);
    EXPECT_EQ(PrinterList().entries.size(), c.entriesLeft);
    EXPECT_EQ(PrinterList().selection, -1);
    ExpectNothingLeftOpen();
}

const std::string kQueryFailed = "EnumPrinters memory requirements query failed";
const std::string kListFailed = "EnumPrinters failed to get the list of printers";

INSTANTIATE_TEST_SUITE_P(
    Failures, ListingFailure,
    ::testing::Values(
        ListingFailureCase{"NothingToList", "", 0, 0, 0, Entry("QV006", kQueryFailed), 0},
        ListingFailureCase{"SizeQuery", "EnumPrintersA", 1, ERROR_ACCESS_DENIED, 0,
                           ErrorEntry("QV006", kQueryFailed, ERROR_ACCESS_DENIED), 0},
        ListingFailureCase{"Allocation", "LocalAlloc", 1, ERROR_NOT_ENOUGH_MEMORY, 0,
                           ErrorEntry("QV008", "Insufficient memory", ERROR_NOT_ENOUGH_MEMORY), 0},
        ListingFailureCase{"Listing", "EnumPrintersA", 2, ERROR_INSUFFICIENT_BUFFER, 0,
                           ErrorEntry("QV010", kListFailed, ERROR_INSUFFICIENT_BUFFER), 0},
        // Wine's answer to every remote listing.
        ListingFailureCase{"RemoteSizeQuery", "EnumPrintersA", 3, ERROR_INVALID_FLAGS, 1,
                           Join({Entry("QVxxx", "Listing remote printers"),
                                 Entry("QVxxx", "EnumPrinters query memory requirements")}) +
                               ErrorEntry("QVxxx", kQueryFailed, ERROR_INVALID_FLAGS),
                           2},
        ListingFailureCase{"RemoteAllocation", "LocalAlloc", 2, ERROR_NOT_ENOUGH_MEMORY, 1,
                           ErrorEntry("QVxxx", "Insufficient memory", ERROR_NOT_ENOUGH_MEMORY), 2},
        ListingFailureCase{"RemoteListing", "EnumPrintersA", 4, ERROR_ACCESS_DENIED, 1,
                           Entry("QVxxx", "EnumPrinters query list of printers") +
                               ErrorEntry("QVxxx", kListFailed, ERROR_ACCESS_DENIED),
                           2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupDialog, RefillingStartsOverFromTheSavedPrinter)
{
    SavePrinter("B");
    ListPrinter("A");
    ListPrinter("B");
    world().remotePrinters = {"R1", "R2"};
    OpenDialog();
    PrinterList().selection = 0;  // the user's choice, not saved

    FillPrinterList(1);
    EXPECT_EQ(PrinterList().entries, (std::vector<std::string>{"A", "B", "R1", "R2"}));
    EXPECT_EQ(PrinterList().selection, 1);
    FillPrinterList(0);
    EXPECT_EQ(PrinterList().entries, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(PrinterList().selection, 1);
}

TEST_F(SetupDialog, SelectedNamesUpTo499CharactersAreTakenLongerOnesRefused)
{
    for (size_t length : {499u, 500u, 5000u}) {
        OpenDialog();
        PrinterList().entries = {std::string(length, 'p')};
        PrinterList().selection = 0;
        strcpy(g_printerName, "Saved");

        EXPECT_EQ(GetSelectedPrinter(), length < 500 ? 1 : 0) << length;
        EXPECT_EQ(std::string(g_printerName), length < 500 ? std::string(length, 'p') : "Saved");
    }
    std::string log = FinishLog();
    EXPECT_NE(log.find(Entry("QV021", "Found selected printer") + Entry("QV022", std::string(499, 'p'))),
              std::string::npos);
    EXPECT_NE(log.find(Entry("QV020", "Get selected printer") +
                       ErrorEntry("QV042", "Printer name too long", ERROR_INSUFFICIENT_BUFFER)),
              std::string::npos);
    EXPECT_TRUE(world().messageBoxes.empty());
}

TEST_F(SetupDialog, OkWithoutASelectionAsksThenSavesTheNameLoadedWithTheList)
{
    SavePrinter("Gone");
    ListPrinter("A");
    OpenDialog();

    Command(IDOK);

    ASSERT_EQ(world().messageBoxes.size(), 1u);
    const fake::ShownMessageBox& box = world().messageBoxes[0];
    EXPECT_EQ(box.owner, world().dialog);
    EXPECT_EQ(box.text, "Please select a printer");
    EXPECT_EQ(box.caption, "Quvara");
    EXPECT_EQ(box.type, (UINT)MB_OK);
    EXPECT_EQ(fake::FindRegistryValue("HKLM\\Software\\Pellander\\Quvara", "Printer")->data,
              (fake::Bytes{'G', 'o', 'n', 'e', 0}));
    EXPECT_NE(fake::FindRegistryValue("HKLM\\Software\\Classes\\.ZPL", ""), nullptr);
    EXPECT_EQ(world().dialogEnds, std::vector<INT_PTR>{1});
}

TEST_F(SetupDialog, CancelAndCloseSaveNothingAndNotificationsAreNoCommands)
{
    SavePrinter("A");
    ListPrinter("A");
    ListPrinter("B");
    OpenDialog();
    PrinterList().selection = 1;

    // A notification in the high word is not a command, whatever its low word.
    EXPECT_EQ(Command(MAKEWPARAM(IDOK, CBN_SELCHANGE)), TRUE);
    EXPECT_EQ(Command(MAKEWPARAM(IDCANCEL, CBN_DROPDOWN)), TRUE);
    EXPECT_TRUE(world().dialogEnds.empty());
    EXPECT_EQ(ConfigDialogProc(world().dialog, WM_CLOSE, 0, 0), FALSE);

    EXPECT_EQ(Command(IDCANCEL), TRUE);

    EXPECT_EQ(world().dialogEnds, std::vector<INT_PTR>{1});
    EXPECT_EQ(fake::CountCalls("RegSetValueExA"), 0);
    EXPECT_EQ(fake::CountCalls("RegCreateKeyExA"), 0);
    EXPECT_TRUE(world().shellNotifications.empty());
}

}  // namespace
