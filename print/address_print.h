// Printing straight to a network label printer's raw port, without a Windows queue.
#pragma once

#include <windows.h>

// Room for an address's host: a DNS name of up to 253 characters, and its zero.
const DWORD HOST_SIZE = 254;
// Room for a port number and its zero.
const DWORD PORT_SIZE = 6;

// A saved printer that begins with "tcp:" (any case) is always an address.
int IsPrinterAddress(const char* printer);

// 1 when text is "tcp://HOST", "tcp://HOST:PORT", each with one "/" at the end or none:
// HOST a DNS name, an IPv4 address, or an IPv6 address in brackets; PORT 1 to 65535. host
// (HOST_SIZE bytes) then holds HOST without brackets, and port (PORT_SIZE bytes) PORT, or
// "9100" when there is none.
int ParsePrinterAddress(const char* text, char* host, char* port);

// Sends the open file, byte for byte, to the printer at address, logging every step. A
// label run (patient) retries for about 30 s and waits up to 2 minutes for another copy
// sending to the same address; the setup's Test takes at most about 35 s in all.
void SendFileToAddress(const char* address, HANDLE file, int patient);
