// Winsock's headers first: windows.h would otherwise bring the older winsock.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "print/address_print.h"

#include <algorithm>
#include <cstring>

#include "app/globals.h"
#include "app/log.h"
#include "app/notice.h"
#include "print/raw_print.h"

// Each connect waits this long for an answer; refusals and silence are asked again, with
// pauses that grow, for about RETRY_PERIOD_MS in all: a printer switched on just now
// answers within seconds.
static const DWORD CONNECT_LIMIT_MS = 4000;
static const DWORD RETRY_PERIOD_MS = 30000;
static const DWORD FIRST_PAUSE_MS = 250;
static const DWORD LONGEST_PAUSE_MS = 4000;
// Copies sending to one printer take turns: Explorer starts one copy per label opened, and
// a printer may mix up or drop a job when a second connection opens before the first
// closed.
static const DWORD TURN_WAIT_MS = 120000;
// A printer that takes nothing more for this long (its buffer full) has lost the label.
static const DWORD STALL_LIMIT_MS = 30000;
// After the last byte, the printer closes once it has read the label; one that never does
// has it all the same.
static const DWORD CLOSE_WAIT_MS = 15000;
// The setup's Test, with the user waiting at a frozen dialog.
static const DWORD TEST_LIMIT_MS = 35000;
static const DWORD NO_LIMIT = 0xFFFFFFFF;

// Winsock, loaded only when an address is used: a queue station pays nothing for it.
struct Winsock {
    HMODULE module;
    decltype(&WSAStartup) startup;
    decltype(&WSACleanup) cleanup;
    decltype(&WSAGetLastError) lastError;
    decltype(&getaddrinfo) resolve;
    decltype(&freeaddrinfo) freeResolved;
    decltype(&socket) openSocket;
    decltype(&ioctlsocket) control;
    decltype(&connect) connectTo;
    decltype(&select) waitFor;
    decltype(&getsockopt) readOption;
    decltype(&send) sendBytes;
    decltype(&recv) receive;
    decltype(&shutdown) shutDown;
    decltype(&closesocket) closeSocket;
};

// One label's exchange with the printer, and how long it may take in all.
struct Exchange {
    Winsock calls;
    SOCKET socket;
    DWORD started;
    DWORD most;
};

static int IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

static int IsHexDigit(char c)
{
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The length of a decimal number at text of at most `most` digits, without a leading zero,
// no greater than limit; 0 when there is none.
static size_t ReadNumber(const char* text, size_t most, unsigned long limit, unsigned long* value)
{
    size_t length = 0;
    *value = 0;
    while (length <= most && IsDigit(text[length]))
        *value = *value * 10 + (unsigned long)(text[length++] - '0');
    if (length == 0 || length > most || (length > 1 && text[0] == '0') || *value > limit)
        return 0;
    return length;
}

// The length of a dotted IPv4 address at text; 0 when there is none.
static size_t ReadIpv4(const char* text)
{
    size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        unsigned long value = 0;
        size_t length = ReadNumber(text + at, 3, 255, &value);
        if (length == 0 || (part < 3 && text[at + length] != '.'))
            return 0;
        at += length + (part < 3);
    }
    return at;
}

// Labels of letters, digits and hyphens, 1 to 63 long, not starting or ending with a
// hyphen; a name of digits and dots only must be an IPv4 address.
static int IsHostName(const char* name, size_t length)
{
    if (length == 0 || length >= HOST_SIZE)
        return 0;
    size_t label = 0;
    bool numeric = true;
    for (size_t i = 0; i <= length; ++i) {
        char c = i < length ? name[i] : '.';
        if (c == '.') {
            if (label == 0 || label > 63 || name[i - 1] == '-')
                return 0;
            label = 0;
        } else if (IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                   (c == '-' && label > 0)) {
            numeric = numeric && IsDigit(c);
            ++label;
        } else {
            return 0;
        }
    }
    return !numeric || ReadIpv4(name) == length;
}

// Eight groups of 1 to 4 hex digits, "::" once at most for one or more groups of zeros,
// the last two groups perhaps as a dotted IPv4 address; no zone.
static int IsIpv6(const char* text, size_t length)
{
    size_t at = 0, groups = 0;
    bool shortened = false;
    if (length >= 2 && text[0] == ':' && text[1] == ':') {
        shortened = true;
        at = 2;
    }
    while (at < length) {
        if (ReadIpv4(text + at) == length - at) {
            groups += 2;
            break;
        }
        size_t digits = 0;
        while (at + digits < length && digits < 5 && IsHexDigit(text[at + digits]))
            ++digits;
        if (digits == 0 || digits > 4)
            return 0;
        ++groups;
        at += digits;
        if (at == length)
            break;
        if (text[at++] != ':' || at == length)
            return 0;
        if (text[at] == ':') {
            if (shortened)
                return 0;
            shortened = true;
            ++at;
        }
    }
    return shortened ? groups <= 7 : groups == 8;
}

int IsPrinterAddress(const char* printer)
{
    return IsNamedWithoutCase(printer, "tcp:", true);
}

int ParsePrinterAddress(const char* text, char* host, char* port)
{
    if (!IsPrinterAddress(text) || strncmp(text + 4, "//", 2) != 0)
        return 0;
    const char* at = text + 6;
    const char* name = at;
    size_t length = 0;
    if (*at == '[') {
        const char* close = strchr(at, ']');
        if (close == NULL || !IsIpv6(at + 1, (size_t)(close - at - 1)))
            return 0;
        name = at + 1;
        length = (size_t)(close - name);
        at = close + 1;
    } else {
        length = strcspn(at, ":/");
        if (!IsHostName(at, length))
            return 0;
        at += length;
    }
    const char* number = "9100";
    size_t digits = 4;
    if (*at == ':') {
        unsigned long value = 0;
        number = at + 1;
        digits = ReadNumber(number, 5, 65535, &value);
        if (digits == 0 || value == 0)
            return 0;
        at = number + digits;
    }
    if (*at == '/')
        ++at;
    if (*at != '\0')
        return 0;
    memcpy(host, name, length);
    host[length] = '\0';
    memcpy(port, number, digits);
    port[digits] = '\0';
    return 1;
}

// What is left of the exchange's time for a wait of its own limit.
static DWORD Remaining(const Exchange* exchange, DWORD limit)
{
    DWORD elapsed = GetTickCount() - exchange->started;
    return elapsed >= exchange->most ? 0 : std::min(limit, exchange->most - elapsed);
}

// Waits until the socket can be written (or read) or fails; 1 when it can, 0 when the
// time ran out (*error WSAETIMEDOUT) or it failed (*error its error).
static int AwaitSocket(Exchange* exchange, bool reading, DWORD limit, int* error)
{
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(exchange->socket, &ready);
    FD_SET(exchange->socket, &failed);
    DWORD wait = Remaining(exchange, limit);
    timeval timeout;
    timeout.tv_sec = (decltype(timeout.tv_sec))(wait / 1000);
    timeout.tv_usec = (decltype(timeout.tv_usec))(wait % 1000 * 1000);
    // Only a connect shows failing in the failed set; an open connection that fails is
    // readable, and reading tells why.
    int count = exchange->calls.waitFor(0, reading ? &ready : NULL, reading ? NULL : &ready,
                                        reading ? NULL : &failed, &timeout);
    if (count == 0) {
        *error = WSAETIMEDOUT;
        return 0;
    }
    if (count < 0) {
        *error = exchange->calls.lastError();
        return 0;
    }
    if (!reading && failed.fd_count != 0) {
        int length = sizeof(*error);
        exchange->calls.readOption(exchange->socket, SOL_SOCKET, SO_ERROR, (char*)error, &length);
        return 0;
    }
    return 1;
}

template <typename Call>
static void FindCall(HMODULE module, const char* name, Call* call, int* missing)
{
    FARPROC found = GetProcAddress(module, name);
    *call = (Call)(void (*)(void))found;
    if (found == NULL)
        *missing = 1;
}

// 1 when Winsock is loaded and started; 0, logged, when it cannot be.
static int LoadWinsock(Winsock* calls)
{
    calls->module = LoadLibraryA("ws2_32.dll");
    if (calls->module == NULL) {
        LogNoticeEvent(GetLastError(), "QV133", "Windows' network could not be used");
        return 0;
    }
    HMODULE module = calls->module;
    int missing = 0;
    FindCall(module, "WSAStartup", &calls->startup, &missing);
    FindCall(module, "WSACleanup", &calls->cleanup, &missing);
    FindCall(module, "WSAGetLastError", &calls->lastError, &missing);
    FindCall(module, "getaddrinfo", &calls->resolve, &missing);
    FindCall(module, "freeaddrinfo", &calls->freeResolved, &missing);
    FindCall(module, "socket", &calls->openSocket, &missing);
    FindCall(module, "ioctlsocket", &calls->control, &missing);
    FindCall(module, "connect", &calls->connectTo, &missing);
    FindCall(module, "select", &calls->waitFor, &missing);
    FindCall(module, "getsockopt", &calls->readOption, &missing);
    FindCall(module, "send", &calls->sendBytes, &missing);
    FindCall(module, "recv", &calls->receive, &missing);
    FindCall(module, "shutdown", &calls->shutDown, &missing);
    FindCall(module, "closesocket", &calls->closeSocket, &missing);
    WSADATA data;
    int error = missing ? ERROR_PROC_NOT_FOUND : calls->startup(MAKEWORD(2, 2), &data);
    if (error != 0) {
        LogNoticeEvent((DWORD)error, "QV133", "Windows' network could not be used");
        FreeLibrary(calls->module);
        return 0;
    }
    return 1;
}

// Tries one resolved address; 1 when connected, else *error says why.
static int ConnectOnce(Exchange* exchange, const addrinfo* address, int* error)
{
    Winsock& calls = exchange->calls;
    exchange->socket = calls.openSocket(address->ai_family, address->ai_socktype,
                                        address->ai_protocol);
    if (exchange->socket == INVALID_SOCKET) {
        *error = calls.lastError();
        return 0;
    }
    // Not blocking, so that a printer that does not answer costs CONNECT_LIMIT_MS, not
    // Windows' own 21 seconds and more.
    u_long nonBlocking = 1;
    calls.control(exchange->socket, FIONBIO, &nonBlocking);
    if (calls.connectTo(exchange->socket, address->ai_addr, (int)address->ai_addrlen) == 0)
        return 1;
    *error = calls.lastError();
    if (*error == WSAEWOULDBLOCK && AwaitSocket(exchange, false, CONNECT_LIMIT_MS, error))
        return 1;
    calls.closeSocket(exchange->socket);
    exchange->socket = INVALID_SOCKET;
    return 0;
}

// Connects to any address the name resolves to, asking again after refusals and silence
// for retryPeriod. 1 when connected; 0, logged, when not.
static int ConnectToPrinter(Exchange* exchange, const char* host, const char* port,
                            DWORD retryPeriod)
{
    Winsock& calls = exchange->calls;
    // IPv4 and IPv6 alike; without AI_ADDRCONFIG, which would leave out loopback.
    addrinfo hints;
    memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    DWORD pause = FIRST_PAUSE_MS;
    int error = 0;
    for (;;) {
        addrinfo* addresses = NULL;
        error = calls.resolve(host, port, &hints, &addresses);
        // A name that does not exist will not exist in a moment either.
        if (error == WSAHOST_NOT_FOUND || error == WSANO_DATA) {
            LogNoticeEvent((DWORD)error, "QV134", "Printer address unknown");
            return 0;
        }
        for (const addrinfo* address = error == 0 ? addresses : NULL; address != NULL;
             address = address->ai_next) {
            if (ConnectOnce(exchange, address, &error)) {
                calls.freeResolved(addresses);
                LogEvent(0, "QV137", "Connected to the printer");
                return 1;
            }
        }
        if (addresses != NULL)
            calls.freeResolved(addresses);
        DWORD elapsed = GetTickCount() - exchange->started;
        if (elapsed + pause > retryPeriod || Remaining(exchange, pause) < pause)
            break;
        Sleep(pause);
        pause = std::min(pause * 2, LONGEST_PAUSE_MS);
    }
    if (error == WSAECONNREFUSED)
        LogNoticeEvent((DWORD)error, "QV135", "Printer refused the connection");
    else if (error == WSATRY_AGAIN)
        LogNoticeEvent((DWORD)error, "QV134", "Printer address unknown");
    else
        LogNoticeEvent((DWORD)error, "QV136", "Printer did not answer");
    return 0;
}

// Hands length bytes to Winsock, waiting while the printer is slow to take them. 1 when
// all went; *sent counts what Windows took.
static int SendAll(Exchange* exchange, const char* bytes, int length, DWORD* sent, int* error)
{
    while (length > 0) {
        int taken = exchange->calls.sendBytes(exchange->socket, bytes, length, 0);
        if (taken > 0) {
            bytes += taken;
            length -= taken;
            *sent += (DWORD)taken;
            continue;
        }
        *error = exchange->calls.lastError();
        if (*error != WSAEWOULDBLOCK || !AwaitSocket(exchange, false, STALL_LIMIT_MS, error))
            return 0;
    }
    return 1;
}

// "<text><count>" into entry (TEXT_BUFFER_SIZE bytes).
static void FormatCount(char* entry, const char* text, DWORD count)
{
    char digits[12];
    size_t length = 0;
    do {
        digits[length++] = (char)('0' + count % 10);
        count /= 10;
    } while (count != 0);
    size_t used = strlen(text);
    memcpy(entry, text, used);
    while (length > 0)
        entry[used++] = digits[--length];
    entry[used] = '\0';
}

// Streams the file to the printer chunk by chunk. 1 when all of it went; once a byte has
// gone nothing is ever sent again, so a label is never printed twice.
static int SendLabel(Exchange* exchange, HANDLE file)
{
    DWORD sent = 0;
    for (;;) {
        int chunk = ReadLabelChunk(file);
        if (chunk <= 0)
            return chunk == 0;
        int error = 0;
        if (!SendAll(exchange, (const char*)g_transferBuffer, chunk, &sent, &error)) {
            char entry[TEXT_BUFFER_SIZE];
            FormatCount(entry, "Connection lost before the whole label went; bytes Windows took: ",
                        sent);
            LogNoticeEvent((DWORD)error, "QV138", entry);
            return 0;
        }
    }
}

// After the label, unconfirmed: the connection was reset, so it may or may not have printed.
static void NoteUnconfirmedLabel(int error)
{
    LogNoticeEvent((DWORD)error, "QV139", "Label sent, but the printer did not confirm it");
}

// The label is all sent: the printer closes when it has read it. Its answer is read and
// dropped until then.
static void AwaitPrinter(Exchange* exchange)
{
    Winsock& calls = exchange->calls;
    int error = 0;
    if (calls.shutDown(exchange->socket, SD_SEND) != 0) {
        NoteUnconfirmedLabel(calls.lastError());
        return;
    }
    DWORD shutAt = GetTickCount();
    for (;;) {
        DWORD waited = GetTickCount() - shutAt;
        bool over = waited >= CLOSE_WAIT_MS;
        if (over || !AwaitSocket(exchange, true, CLOSE_WAIT_MS - waited, &error)) {
            if (over || error == WSAETIMEDOUT)
                LogEvent(0, "QV141", "Printer kept the connection open");
            else
                NoteUnconfirmedLabel(error);
            return;
        }
        int got = calls.receive(exchange->socket, (char*)g_transferBuffer,
                                sizeof(g_transferBuffer), 0);
        if (got == 0) {
            LogEvent(0, "QV140", "Printer closed the connection");
            return;
        }
        error = got < 0 ? calls.lastError() : 0;
        if (got < 0 && error != WSAEWOULDBLOCK) {
            NoteUnconfirmedLabel(error);
            return;
        }
    }
}

// The turn to send to this printer, as a named mutex of the session; NULL when the wait
// ran out (logged) or no mutex can be had (the label goes all the same). *turn is 0 only
// when the wait ran out.
static HANDLE TakeTurn(const Exchange* exchange, const char* host, const char* port, int* turn)
{
    char name[16 + HOST_SIZE + PORT_SIZE] = "Quvara printer ";
    size_t used = strlen(name);
    for (const char* c = host; *c != '\0'; ++c)
        name[used++] = (char)(*c >= 'A' && *c <= 'Z' ? *c + 32 : *c);
    name[used++] = ' ';
    memcpy(name + used, port, strlen(port) + 1);

    *turn = 1;
    HANDLE mutex = CreateMutexA(NULL, FALSE, name);
    if (mutex == NULL || WaitForSingleObject(mutex, 0) != WAIT_TIMEOUT)
        return mutex;
    LogEvent(0, "QV131", "Waiting for another copy of Quvara printing to the address");
    if (WaitForSingleObject(mutex, Remaining(exchange, TURN_WAIT_MS)) != WAIT_TIMEOUT)
        return mutex;
    LogNoticeEvent(WAIT_TIMEOUT, "QV132", "Another copy of Quvara kept the printer for 2 minutes");
    CloseHandle(mutex);
    *turn = 0;
    return NULL;
}

void SendFileToAddress(const char* address, HANDLE file, int patient)
{
    char host[HOST_SIZE], port[PORT_SIZE];
    if (!ParsePrinterAddress(address, host, port)) {
        LogNoticeEvent(0, "QV130", "Not a printer address");
        return;
    }
    Exchange exchange;
    memset(&exchange, 0, sizeof(exchange));
    exchange.socket = INVALID_SOCKET;
    exchange.started = GetTickCount();
    exchange.most = patient ? NO_LIMIT : TEST_LIMIT_MS;

    int turn = 0;
    HANDLE mutex = TakeTurn(&exchange, host, port, &turn);
    if (turn && LoadWinsock(&exchange.calls)) {
        if (ConnectToPrinter(&exchange, host, port, patient ? RETRY_PERIOD_MS : 0)) {
            if (SendLabel(&exchange, file))
                AwaitPrinter(&exchange);
            // The default linger: whatever Windows still holds goes to the printer.
            exchange.calls.closeSocket(exchange.socket);
        }
        // Only now: unloading Winsock first could lose data still on its way.
        exchange.calls.cleanup();
        FreeLibrary(exchange.calls.module);
    }
    if (mutex != NULL) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}
