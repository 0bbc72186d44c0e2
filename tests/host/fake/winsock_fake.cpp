// ws2_32 as the stand-in has it: a network of printers, on the world's clock. Apart from
// win32_fake.cpp: Winsock's headers and the C library's cannot meet in one file.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdlib>

#include "win32_fake.h"

namespace fake {

namespace {

std::map<SOCKET, size_t> g_sockets;  // the network printer each connects to
World& g_world = TheWorld();

NetworkPrinter& PrinterOf(SOCKET socket)
{
    return g_world.network.at(g_sockets.at(socket));
}

int WINAPI Startup(WORD, LPWSADATA)
{
    Record("WSAStartup");
    return Injected("WSAStartup") ? (int)g_world.lastError : 0;
}

int WINAPI Cleanup()
{
    Record("WSACleanup");
    return 0;
}

int WINAPI LastError()
{
    return (int)g_world.lastError;
}

// One address per network printer of that name, in order; which one travels in the address.
int WINAPI Resolve(const char* name, const char*, const addrinfo*, addrinfo** found)
{
    *found = nullptr;
    for (size_t i = g_world.network.size(); i-- > 0;) {
        if (g_world.network[i].name != name)
            continue;
        addrinfo* info = (addrinfo*)calloc(1, sizeof(addrinfo) + sizeof(sockaddr));
        info->ai_addr = (sockaddr*)(info + 1);
        info->ai_addr->sa_data[0] = (char)i;
        info->ai_next = *found;
        *found = info;
    }
    return *found != nullptr ? 0 : WSAHOST_NOT_FOUND;
}

void WINAPI FreeResolved(addrinfo* info)
{
    for (addrinfo* next = nullptr; info != nullptr; info = next) {
        next = info->ai_next;
        free(info);
    }
}

SOCKET WINAPI OpenSocket(int, int, int)
{
    SOCKET socket = (SOCKET)NewHandle();
    g_sockets[socket] = SIZE_MAX;
    ++g_world.openSockets;
    return socket;
}

int WINAPI ControlSocket(SOCKET, LONG, u_long*)
{
    return 0;
}

// Never at once: the answer comes with select.
int WINAPI Connect(SOCKET socket, const sockaddr* address, int)
{
    g_sockets[socket] = (size_t)address->sa_data[0];
    ++PrinterOf(socket).connects;
    g_world.lastError = WSAEWOULDBLOCK;
    return SOCKET_ERROR;
}

// A connect's answer, or whether the printer answers a sent label; silence runs the clock on.
int WINAPI Wait(int, fd_set* readable, fd_set* writable, fd_set* failed, const timeval* timeout)
{
    fd_set* asked = readable != nullptr ? readable : writable;
    const NetworkPrinter& printer = PrinterOf(asked->fd_array[0]);
    int answer = readable != nullptr                      ? printer.lastAnswer
                 : g_world.clock < printer.listensAt ? WSAECONNREFUSED
                                                          : printer.answer;
    if (answer == WSAETIMEDOUT) {
        g_world.clock += (DWORD)(timeout->tv_sec * 1000 + timeout->tv_usec / 1000);
        return 0;
    }
    if (failed != nullptr)
        (answer != 0 ? writable : failed)->fd_count = 0;
    g_world.lastError = (DWORD)answer;
    return 1;
}

int WINAPI ReadOption(SOCKET, int, int, char* value, int*)
{
    *(int*)value = (int)g_world.lastError;
    return 0;
}

// As much as the printer reads, at most sendPiece at a time; then it resets.
int WINAPI Send(SOCKET socket, const char* bytes, int length, int)
{
    NetworkPrinter& printer = PrinterOf(socket);
    size_t taken =
        std::min({(size_t)length, g_world.sendPiece, printer.takes - printer.received.size()});
    printer.received.insert(printer.received.end(), bytes, bytes + taken);
    g_world.lastError = WSAECONNRESET;
    return taken == 0 ? SOCKET_ERROR : (int)taken;
}

int WINAPI Receive(SOCKET socket, char*, int, int)
{
    g_world.lastError = (DWORD)PrinterOf(socket).lastAnswer;
    return g_world.lastError == 0 ? 0 : SOCKET_ERROR;
}

int WINAPI ShutDown(SOCKET, int how)
{
    Record("shutdown");
    return how == SD_SEND ? 0 : SOCKET_ERROR;
}

int WINAPI CloseSocket(SOCKET socket)
{
    Record("closesocket");
    g_world.openSockets -= (int)g_sockets.erase(socket);
    return 0;
}

}  // namespace

FARPROC WinsockCall(const char* name)
{
    using Call = void (*)(void);
    static const std::map<std::string, Call> calls = {
        {"WSAStartup", (Call)Startup},     {"WSACleanup", (Call)Cleanup},
        {"WSAGetLastError", (Call)LastError}, {"getaddrinfo", (Call)Resolve},
        {"freeaddrinfo", (Call)FreeResolved}, {"socket", (Call)OpenSocket},
        {"ioctlsocket", (Call)ControlSocket},{"connect", (Call)Connect},
        {"select", (Call)Wait},            {"getsockopt", (Call)ReadOption},
        {"send", (Call)Send},              {"recv", (Call)Receive},
        {"shutdown", (Call)ShutDown},      {"closesocket", (Call)CloseSocket}};
    return calls.count(name) ? (FARPROC)calls.at(name) : nullptr;
}

}  // namespace fake
