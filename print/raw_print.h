// Sends one file, byte for byte, to one printer as a RAW spooler job.
#pragma once

// Always 0: the outcome is recorded in the log only.
int PrintFileRaw(const char* printerName, const char* filePath);
