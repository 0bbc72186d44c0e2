// Storing the chosen printer and making Quvara the program that opens label files.
#pragma once

// Writes g_printerName, the EPL and ZPL file types, their open command and the label
// MIME types, then tells the shell. Always 1: each failing write is logged and the
// next one is still tried; if any failed, a box owned by the dialog then says so.
int SaveConfiguration();
