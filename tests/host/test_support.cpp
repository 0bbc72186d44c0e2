#include "test_support.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/globals.h"
#include "app/log.h"
#include "res/resource.h"
#include "ui/config_dialog.h"

std::string Entry(const std::string& code, const std::string& text)
{
    return code + ": " + text + "\r\n";
}

std::string ErrorEntry(const std::string& code, const std::string& text, DWORD error)
{
    return code + ": " + text + "\r\n\t" + fake::SystemText(error) + "\r\n";
}

std::string SavedPrinterLoadEntries(const std::string& name)
{
    return Join({Entry("QV017", "Get previously configured printer"),
                 Entry("QV029", "Opening registry key"),
                 Entry("QV030", "Software\\Pellander\\Quvara"),
                 Entry("QV032", "Reading registry value"), Entry("QV033", "Printer"),
                 Entry("QV019", name)});
}

std::string Join(const std::vector<std::string>& entries)
{
    std::string all;
    for (const std::string& entry : entries)
        all += entry;
    return all;
}

void QuvaraTest::SetUp()
{
    fake::Reset();
    g_logFile = INVALID_HANDLE_VALUE;
    memset(g_printerName, 0, sizeof(g_printerName));
    g_dialog = NULL;
    g_versionInfo.dwPlatformId = VER_PLATFORM_WIN32_NT;
    g_notify = 0;
    g_noticeEvent = NULL;

    char pattern[] = "/tmp/quvara-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    world().tempPath = folder_ + "/";
    world().commandLine = "\"C:\\Program Files\\Quvara\\Quvara.exe\" \"label.zpl\"";
    world().modulePath = "C:\\Program Files\\Quvara\\Quvara.exe";
}

void QuvaraTest::TearDown()
{
    fake::Reset();
    std::filesystem::remove_all(folder_);
}

std::string QuvaraTest::MakeFile(const std::string& name, const fake::Bytes& content)
{
    std::string path = folder_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write((const char*)content.data(), (std::streamsize)content.size());
    return path;
}

std::string QuvaraTest::MakeFile(const std::string& name, const std::string& content)
{
    return MakeFile(name, fake::Bytes(content.begin(), content.end()));
}

void QuvaraTest::SavePrinter(const std::string& name)
{
    fake::SetRegistryString("HKLM\\Software\\Pellander\\Quvara", "Printer", name);
}

void QuvaraTest::AddPrinter(const std::string& name)
{
    world().printers.insert(name);
}

int QuvaraTest::Run(const std::string& argumentText)
{
    world().commandLine = "\"C:\\Program Files\\Quvara\\Quvara.exe\"";
    if (!argumentText.empty())
        world().commandLine += " " + argumentText;
    // What the C runtime would pass is not looked at: the program reads the command line.
    char startupArguments[] = "ignored";
    return WinMain((HINSTANCE)0x400000, NULL, startupArguments, SW_SHOWNORMAL);
}

void QuvaraTest::ListPrinter(const std::string& name, DWORD attributes)
{
    world().localPrinters.push_back({name, attributes});
    AddPrinter(name);
}

void QuvaraTest::PrepareDialog()
{
    world().dialog = (HWND)0xD1A106;
    world().controls[IDC_PRINTER_LIST];
    world().controls[IDC_SHOW_REMOTE];
    g_instance = (HINSTANCE)0x400000;
}

INT_PTR QuvaraTest::OpenDialog()
{
    PrepareDialog();
    return ConfigDialogProc(world().dialog, WM_INITDIALOG, 0, 0);
}

INT_PTR QuvaraTest::Command(WPARAM command)
{
    return ConfigDialogProc(world().dialog, WM_COMMAND, command, 0);
}

fake::Control& QuvaraTest::PrinterList()
{
    return world().controls[IDC_PRINTER_LIST];
}

std::string QuvaraTest::FinishLog()
{
    CloseLog();
    return Log();
}

bool QuvaraTest::LogExists() const
{
    return std::filesystem::exists(LogPath());
}

std::string QuvaraTest::Log() const
{
    fake::Bytes bytes = ReadHostFile(LogPath());
    return std::string(bytes.begin(), bytes.end());
}

void QuvaraTest::ExpectNothingLeftOpen()
{
    EXPECT_EQ(world().openFiles, 0);
    EXPECT_EQ(world().openKeys, 0);
    EXPECT_EQ(world().openPrinters, 0);
    EXPECT_EQ(world().localAllocations, 0);
    EXPECT_EQ(world().openMutexes, 0);
    EXPECT_EQ(world().openEventSources, 0);
    EXPECT_EQ(world().openSockets, 0);
}

fake::Bytes ReadHostFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return fake::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
