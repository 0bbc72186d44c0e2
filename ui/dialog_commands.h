// The setup dialog's helpers for getting the printer right before saving. None saves anything.
#pragma once

// Opens the selected printer's driver settings, modal to the dialog. 1 when they were shown.
int ShowPrinterProperties();

// Sends a label file the user picks to the selected printer. 1 when a file was sent.
int TestConfiguration();

// Sends a label file the user picks to the printer at the address written in the dialog,
// and says in a box what became of it. 1 when a file was sent.
int TestPrinterAddress();

// Follows the "Show Remote Printers" box: with the user's consent, lists the domain's
// printers too; unchecked, lists the local ones only.
void ToggleRemotePrinters();
