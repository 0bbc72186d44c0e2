// Shared fixture: a fresh stand-in world, a private temporary folder that plays
// the user's temp folder, and helpers to read back the log.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "win32_fake.h"

// The system's text for a code, as the log shows it.
std::string Entry(const std::string& code, const std::string& text);
std::string ErrorEntry(const std::string& code, const std::string& text, DWORD error);

// The entries a load of the saved printer writes when it finds `name`.
std::string SavedPrinterLoadEntries(const std::string& name);

std::string Join(const std::vector<std::string>& entries);

class QuvaraTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    fake::World& world() { return fake::TheWorld(); }

    // Creates a file in the test's folder; returns its full path.
    std::string MakeFile(const std::string& name, const fake::Bytes& content);
    std::string MakeFile(const std::string& name, const std::string& content);

    void SavePrinter(const std::string& name);
    void AddPrinter(const std::string& name);

    // Runs the program as the shell would: the quoted program path, then the argument.
    int Run(const std::string& argumentText);

    // The setup dialog: opens it (WM_INITDIALOG) and sends it commands as its controls do.
    // A listed printer can also be opened for printing.
    void ListPrinter(const std::string& name, DWORD attributes = 0);
    // A dialog window with its list and check box, before WM_INITDIALOG.
    void PrepareDialog();
    INT_PTR OpenDialog();
    INT_PTR Command(WPARAM command);
    fake::Control& PrinterList();

    // Closes the log and returns what it holds.
    std::string FinishLog();
    bool LogExists() const;
    std::string Log() const;
    std::string LogPath() const { return folder_ + "/QuvaraLog.txt"; }

    const std::string& folder() const { return folder_; }

    // Every handle and key the product opened has been closed again.
    void ExpectNothingLeftOpen();

private:
    std::string folder_;
};

fake::Bytes ReadHostFile(const std::string& path);
