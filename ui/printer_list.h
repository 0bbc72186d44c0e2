// The dialog's drop-down list of printers.
#pragma once

// Fills IDC_PRINTER_LIST of g_dialog anew with the local and connected printers (and,
// with includeRemote 1 on Windows NT, the domain's), preselecting the saved printer.
// Always TRUE; a failing listing is logged and leaves the list without a selection.
int FillPrinterList(int includeRemote);
