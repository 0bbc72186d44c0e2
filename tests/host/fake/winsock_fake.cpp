// ws2_32 as the stand-in has it: a network of printers, on the world's clock. Apart from
// win32_fake.cpp: Winsock's headers and the C library's cannot meet in one file.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "win32_fake.h"

namespace fake {

namespace {

std::map<SOCKET, size_t> g_sockets;  // the network printer each connects to

World& g_world = TheWorld();

int WINAPI FakeWSAStartup(WORD, LPWSADATA)
{
    Record("WSAStartup");
    return Injected("WSAStartup") ? (int)g_world.lastError : 0;
}

int WINAPI FakeWSACleanup()
{
    Record("WSACleanup");
    return 0;
}

int WINAPI FakeWSAGetLastError()
{
    return (int)g_world.lastError;
}

// One address per network printer of that name; which one travels in the address.
int WINAPI FakeGetAddrInfo(const char* name, const char*, const addrinfo*, addrinfo** found)
{
    Record("getaddrinfo");
    *found = nullptr;
    if (Injected("getaddrinfo"))
        return (int)g_world.lastError;
    for (size_t i = g_world.network.size(); i-- > 0;) {
        if (g_world.network[i].name != name)
            continue;
        addrinfo* info = (addrinfo*)calloc(1, sizeof(addrinfo) + sizeof(sockaddr));
        info->ai_addr = (sockaddr*)(info + 1);
        info->ai_addr->sa_data[0] = (char)i;
        info->ai_addrlen = sizeof(sockaddr);
        info->ai_next = *found;
        *found = info;
    }
    return *found != nullptr ? 0 : WSAHOST_NOT_FOUND;
}

void WINAPI FakeFreeAddrInfo(addrinfo* info)
{
    while (info != nullptr) {
        addrinfo* next = info->ai_next;
        free(info);
        info = next;
    }
}

SOCKET WINAPI FakeSocket(int, int, int)
{
    SOCKET socket = (SOCKET)NewHandle();
    g_sockets[socket] = SIZE_MAX;
    ++g_world.openSockets;
    return socket;
}

int WINAPI FakeIoctlSocket(SOCKET, LONG, u_long*)
{
    return 0;
}

int WINAPI FakeConnect(SOCKET socket, const sockaddr* address, int)
{
    Record("connect");
    g_sockets[socket] = (size_t)address->sa_data[0];
    ++g_world.network[g_sockets[socket]].connects;
    g_world.lastError = WSAEWOULDBLOCK;
    return SOCKET_ERROR;
}

// One socket at a time: a connect's answer, or whether a sent label is answered.
int WINAPI FakeSelect(int, fd_set* readable, fd_set* writable, fd_set* failed,
                             const timeval* timeout)
{
    fd_set* asked = readable != nullptr ? readable : writable;
    const NetworkPrinter& printer = g_world.network.at(g_sockets.at(asked->fd_array[0]));
    int answer = readable != nullptr ? printer.lastAnswer
                 : g_world.clock < printer.listensAt ? WSAECONNREFUSED
                                                     : printer.answer;
    if (answer == WSAETIMEDOUT) {
        g_world.clock += (DWORD)(timeout->tv_sec * 1000 + timeout->tv_usec / 1000);
        asked->fd_count = 0;
    } else if (failed != nullptr) {
        (answer != 0 ? writable : failed)->fd_count = 0;
        g_world.lastError = (DWORD)answer;
    }
    return answer == WSAETIMEDOUT ? 0 : 1;
}

int WINAPI FakeGetSockOpt(SOCKET, int, int, char* value, int*)
{
    *(int*)value = (int)g_world.lastError;
    return 0;
}

// As much as the printer reads, in pieces of at most sendPiece; then it resets.
int WINAPI FakeSend(SOCKET socket, const char* bytes, int length, int)
{
    NetworkPrinter& printer = g_world.network.at(g_sockets.at(socket));
    size_t taken = std::min({(size_t)length, g_world.sendPiece, printer.takes - printer.received.size()});
    printer.received.insert(printer.received.end(), bytes, bytes + taken);
    g_world.lastError = WSAECONNRESET;
    return taken == 0 ? SOCKET_ERROR : (int)taken;
}

int WINAPI FakeRecv(SOCKET socket, char*, int, int)
{
    g_world.lastError = (DWORD)g_world.network.at(g_sockets.at(socket)).lastAnswer;
    return g_world.lastError == 0 ? 0 : SOCKET_ERROR;
}

int WINAPI FakeShutdown(SOCKET, int how)
{
    Record("shutdown");
    return how == SD_SEND ? 0 : SOCKET_ERROR;
}

int WINAPI FakeCloseSocket(SOCKET socket)
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
        {"WSAStartup", (Call)FakeWSAStartup},
        {"WSACleanup", (Call)FakeWSACleanup},
        {"WSAGetLastError", (Call)FakeWSAGetLastError},
        {"getaddrinfo", (Call)FakeGetAddrInfo},
        {"freeaddrinfo", (Call)FakeFreeAddrInfo},
        {"socket", (Call)FakeSocket},
        {"ioctlsocket", (Call)FakeIoctlSocket},
        {"connect", (Call)FakeConnect},
        {"select", (Call)FakeSelect},
        {"getsockopt", (Call)FakeGetSockOpt},
        {"send", (Call)FakeSend},
        {"recv", (Call)FakeRecv},
        {"shutdown", (Call)FakeShutdown},
        {"closesocket", (Call)FakeCloseSocket}};
    return calls.count(name) ? (FARPROC)calls.at(name) : nullptr;
}

}  // namespace fake
