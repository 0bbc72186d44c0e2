#include "win32_fake.h"

#include <commdlg.h>
#include <shlobj.h>
#include <winspool.h>

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace fake {

namespace {

struct Injection {
    std::string call;
    int countdown;
    DWORD error;
};

struct ShortWriteInjection {
    int countdown;
    DWORD accepted;
};

struct FileEntry {
    int fd = -1;
    std::string path;
    DWORD access = 0;
    DWORD share = 0;
};

struct PrinterEntry {
    std::string name;
    int job = -1;  // index into jobs while a document is open
};

World g_world;
const DWORD kDriverXps = 0x00000002;  // PRINTER_DRIVER_XPS
std::u16string g_wideCommandLine;
std::vector<Injection> g_injections;
std::vector<ShortWriteInjection> g_shortWrites;
std::map<intptr_t, FileEntry> g_files;
std::map<intptr_t, std::string> g_keys;
std::map<intptr_t, PrinterEntry> g_printerHandles;
std::map<intptr_t, std::string> g_mutexes;
intptr_t g_nextHandle = 0x1000;
std::vector<std::string> g_iconNames;  // by LoadIconA handle - 1

// Texts as Windows words them, each ending in "\r\n" as the system's do.
const std::map<DWORD, const char*> kSystemTexts = {
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command.\r\n"},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device.\r\n"},
    {ERROR_READ_FAULT, "The system cannot read from the specified device.\r\n"},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by another process.\r\n"},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small.\r\n"},
    {ERROR_NEGATIVE_SEEK,
     "An attempt was made to move the file pointer before the beginning of the file.\r\n"},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long.\r\n"},
    {ERROR_MORE_DATA, "More data is available.\r\n"},
    {ERROR_INVALID_PRINTER_NAME, "The printer name is invalid.\r\n"},
    {ERROR_INVALID_DATATYPE, "The specified datatype is invalid.\r\n"},
    {ERROR_PRINTER_DELETED, "The specified printer has been deleted.\r\n"},
    {ERROR_NOT_READY, "The device is not ready.\r\n"},
    {ERROR_NOT_SUPPORTED, "The request is not supported.\r\n"},
    {10054, "An existing connection was forcibly closed by the remote host.\r\n"},  // WSAECONNRESET
    {10061, "No connection could be made because the target machine actively refused it.\r\n"},
    {11001, "No such host is known.\r\n"},  // WSAHOST_NOT_FOUND
};

// The log writes each event code on its own; with QUVARA_EVENT_CODES set, every code
// written in this process is appended to that file, so a run of all tests shows which
// codes some test reaches.
void NoteEventCode(const char* text, DWORD size)
{
    const char* list = getenv("QUVARA_EVENT_CODES");
    if (list == nullptr || size != 5 || strncmp(text, "QV", 2) != 0)
        return;
    int fd = open(list, O_WRONLY | O_APPEND | O_CREAT, 0644);
    if (fd < 0)
        return;
    char line[6] = {text[0], text[1], text[2], text[3], text[4], '\n'};
    ssize_t ignored = write(fd, line, sizeof(line));
    (void)ignored;
    close(fd);
}

}  // namespace

void Record(const char* call)
{
    g_world.calls.push_back(call);
}

// True when an injected failure is due for this call; sets the last error.
bool Injected(const char* call)
{
    for (auto it = g_injections.begin(); it != g_injections.end(); ++it) {
        if (it->call != call)
            continue;
        if (--it->countdown == 0) {
            g_world.lastError = it->error;
            g_injections.erase(it);
            return true;
        }
    }
    return false;
}

// Registry calls report their error as the result, not the last error.
LSTATUS InjectedStatus(const char* call)
{
    DWORD saved = g_world.lastError;
    if (!Injected(call))
        return ERROR_SUCCESS;
    LSTATUS status = (LSTATUS)g_world.lastError;
    g_world.lastError = saved;
    return status;
}

BOOL Fail(DWORD error)
{
    g_world.lastError = error;
    return FALSE;
}

HANDLE NewHandle()
{
    g_nextHandle += 4;
    return (HANDLE)g_nextHandle;
}

namespace {

DWORD ErrorFromErrno(int error)
{
    switch (error) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EISDIR:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    default: return ERROR_INVALID_PARAMETER;
    }
}

FileEntry* FindFile(HANDLE handle)
{
    auto it = g_files.find((intptr_t)handle);
    return it == g_files.end() ? nullptr : &it->second;
}

PrinterEntry* FindPrinter(HANDLE handle)
{
    auto it = g_printerHandles.find((intptr_t)handle);
    return it == g_printerHandles.end() ? nullptr : &it->second;
}

std::string RootName(HKEY root)
{
    if (root == HKEY_LOCAL_MACHINE) return "HKLM";
    if (root == HKEY_CLASSES_ROOT) return "HKCR";
    if (root == HKEY_CURRENT_USER) return "HKCU";
    auto it = g_keys.find((intptr_t)root);
    return it == g_keys.end() ? std::string() : it->second;
}

// Only an administrator may change the machine's keys; anybody may read them.
bool Refused(const std::string& path, REGSAM access)
{
    const REGSAM changes = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE |
                           WRITE_DAC | WRITE_OWNER;
    return !g_world.administrator && path.rfind("HKLM", 0) == 0 && (access & changes) != 0;
}

// HKEY_CLASSES_ROOT is the user's classes where the key is there, else the machine's.
std::string JoinKey(const std::string& parent, const char* subKey)
{
    std::string below = subKey != nullptr && subKey[0] != '\0' ? std::string("\\") + subKey : "";
    if (parent != "HKCR")
        return parent + below;
    std::string user = "HKCU\\Software\\Classes" + below;
    return g_world.registry.count(user) ? user : "HKLM\\Software\\Classes" + below;
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const
{
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

std::vector<size_t> Job::ChunkSizes() const
{
    std::vector<size_t> sizes;
    for (const Bytes& chunk : chunks)
        sizes.push_back(chunk.size());
    return sizes;
}

World& TheWorld()
{
    return g_world;
}

void Reset()
{
    for (auto& entry : g_files)
        close(entry.second.fd);
    g_files.clear();
    g_keys.clear();
    g_printerHandles.clear();
    g_mutexes.clear();
    g_injections.clear();
    g_shortWrites.clear();
    g_iconNames.clear();
    g_world = World();
    g_world.registry["HKLM\\Software\\Classes"];
}

void Restart()
{
    std::vector<std::string> gone;
    for (const auto& key : g_world.registry)
        if (key.second.isVolatile)
            gone.push_back(key.first + "\\");
    for (auto key = g_world.registry.begin(); key != g_world.registry.end();) {
        bool below = false;
        for (const std::string& prefix : gone)
            below = below || strncasecmp((key->first + "\\").c_str(), prefix.c_str(), prefix.size()) == 0;
        key = below ? g_world.registry.erase(key) : std::next(key);
    }
}

void FailCall(const std::string& call, DWORD error, int nth)
{
    g_injections.push_back({call, nth, error});
}

void ShortWrite(int nth, DWORD accepted)
{
    g_shortWrites.push_back({nth, accepted});
}

void SetRegistryValue(const std::string& keyPath, const std::string& name, DWORD type,
                      const Bytes& data)
{
    // Parents exist whenever a child does, as in the real registry.
    for (size_t at = keyPath.find('\\'); at != std::string::npos; at = keyPath.find('\\', at + 1))
        g_world.registry[keyPath.substr(0, at)];
    RegistryValue& value = g_world.registry[keyPath].values[name];
    value.type = type;
    value.data = data;
}

void SetRegistryString(const std::string& keyPath, const std::string& name, const std::string& text)
{
    Bytes data(text.begin(), text.end());
    data.push_back(0);
    SetRegistryValue(keyPath, name, REG_SZ, data);
}

const RegistryValue* FindRegistryValue(const std::string& keyPath, const std::string& name)
{
    auto key = g_world.registry.find(keyPath);
    if (key == g_world.registry.end())
        return nullptr;
    auto value = key->second.values.find(name);
    return value == key->second.values.end() ? nullptr : &value->second;
}

std::vector<std::string> CallsAmong(const std::set<std::string>& names)
{
    std::vector<std::string> result;
    for (const std::string& call : g_world.calls)
        if (names.count(call))
            result.push_back(call);
    return result;
}

int CountCalls(const std::string& name)
{
    int count = 0;
    for (const std::string& call : g_world.calls)
        count += call == name;
    return count;
}

std::string SystemText(DWORD error)
{
    if (g_world.systemTexts.count(error))
        return g_world.systemTexts[error];
    auto text = kSystemTexts.find(error);
    return text == kSystemTexts.end() ? std::string() : std::string(text->second);
}

}  // namespace fake

using namespace fake;

// ---- kernel32: errors, process facts, memory ----

extern "C" DWORD WINAPI GetLastError(void)
{
    return g_world.lastError;
}

extern "C" VOID WINAPI SetLastError(DWORD error)
{
    g_world.lastError = error;
}

extern "C" BOOL WINAPI GetVersionExA(OSVERSIONINFOA* info)
{
    Record("GetVersionExA");
    if (Injected("GetVersionExA"))
        return FALSE;
    if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
        info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    info->dwMajorVersion = 6;
    info->dwMinorVersion = 2;
    info->dwBuildNumber = 9200;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

extern "C" LPSTR WINAPI GetCommandLineA(void)
{
    Record("GetCommandLineA");
    return const_cast<char*>(g_world.commandLine.c_str());
}

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR buffer, DWORD size)
{
    Record("GetModuleFileNameA");
    if (Injected("GetModuleFileNameA"))
        return 0;
    const std::string& path = g_world.modulePath;
    if (size == 0)
        return 0;
    // Too small: the path is cut, still terminated, and the full size is returned.
    if (path.size() >= size) {
        memcpy(buffer, path.data(), size - 1);
        buffer[size - 1] = '\0';
        g_world.lastError = ERROR_INSUFFICIENT_BUFFER;
        return size;
    }
    memcpy(buffer, path.c_str(), path.size() + 1);
    return (DWORD)path.size();
}

// The wide form the test gave, else the ANSI one's bytes as Latin-1.
static std::u16string Wide(const std::u16string& wide, const std::string& ansi)
{
    std::u16string text = wide;
    if (text.empty())
        for (char byte : ansi)
            text += (char16_t)(unsigned char)byte;
    return text;
}

extern "C" LPWSTR WINAPI GetCommandLineW(void)
{
    Record("GetCommandLineW");
    g_wideCommandLine = Wide(g_world.wideCommandLine, g_world.commandLine);
    return (LPWSTR)g_wideCommandLine.c_str();
}

// As their ANSI forms do, in UTF-16 units.
extern "C" DWORD WINAPI GetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size)
{
    std::u16string path = Wide(g_world.wideModulePath, g_world.modulePath);
    std::u16string kept = path.substr(0, size - 1);  // cut, still terminated
    memcpy(buffer, kept.c_str(), (kept.size() + 1) * 2);
    return path.size() >= size ? size : (DWORD)path.size();
}

extern "C" DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer)
{
    std::u16string path = Wide(g_world.wideTempPath, g_world.tempPath);
    if (path.size() < size)
        memcpy(buffer, path.c_str(), (path.size() + 1) * 2);
    return (DWORD)path.size() + (path.size() < size ? 0 : 1);
}

static std::string Utf8(const WCHAR* text)
{
    return std::filesystem::path(std::u16string(text)).string();
}

// The ANSI code page as Latin-1: what it lacks becomes "?", reported as a default character.
// Windows refuses other flags, and the default-character report, for UTF-8.
extern "C" INT WINAPI WideCharToMultiByte(UINT, DWORD flags, LPCWSTR text, INT, LPSTR buffer,
                                          INT size, LPCSTR, BOOL* usedDefault)
{
    Record("WideCharToMultiByte");
    std::u16string wide(text);
    if (g_world.codePage == CP_UTF8 && ((flags & ~WC_ERR_INVALID_CHARS) != 0 || usedDefault))
        return Fail(flags ? ERROR_INVALID_FLAGS : ERROR_INVALID_PARAMETER);
    if (Injected("WideCharToMultiByte") || (size_t)size <= wide.size())
        return 0;
    for (size_t i = 0; i <= wide.size(); ++i) {
        if (usedDefault != nullptr)
            *usedDefault |= wide[i] > 0xFF;
        buffer[i] = wide[i] > 0xFF ? '?' : (char)wide[i];
    }
    return (INT)wide.size() + 1;
}

// Latin-1 for 1252, UTF-8 for 65001; a byte sequence UTF-8 lacks fails, as
// MB_ERR_INVALID_CHARS asks.
extern "C" INT WINAPI MultiByteToWideChar(UINT codePage, DWORD, LPCSTR text, INT length,
                                          LPWSTR buffer, INT size)
{
    Record("MultiByteToWideChar");
    std::string bytes = length < 0 ? std::string(text, strlen(text) + 1) : std::string(text, length);
    std::u16string wide;
    if ((codePage == CP_ACP ? g_world.codePage : codePage) == CP_UTF8) {
        try {
            wide = std::filesystem::path(bytes).u16string();
        } catch (const std::exception&) {
            return Fail(ERROR_NO_UNICODE_TRANSLATION);
        }
    } else {
        for (char byte : bytes)
            wide += (char16_t)(unsigned char)byte;
    }
    if (Injected("MultiByteToWideChar"))
        return 0;
    if (size != 0 && (size_t)size < wide.size())
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (size != 0)
        memcpy(buffer, wide.data(), wide.size() * sizeof(WCHAR));
    return (INT)wide.size();
}

extern "C" DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer)
{
    Record("GetTempPathA");
    if (Injected("GetTempPathA"))
        return 0;
    const std::string& path = g_world.tempPath;
    // Too small: nothing is written and the size needed, zero included, comes back.
    if (path.size() + 1 > size)
        return (DWORD)path.size() + 1;
    memcpy(buffer, path.c_str(), path.size() + 1);
    return (DWORD)path.size();
}

extern "C" HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T size)
{
    Record("LocalAlloc");
    if (Injected("LocalAlloc"))
        return nullptr;
    void* memory = (flags & LMEM_ZEROINIT) ? calloc(1, size ? size : 1) : malloc(size ? size : 1);
    ++g_world.localAllocations;
    return memory;
}

extern "C" HLOCAL WINAPI LocalFree(HLOCAL memory)
{
    Record("LocalFree");
    if (memory != nullptr) {
        free(memory);
        --g_world.localAllocations;
    }
    return nullptr;
}

extern "C" DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID, DWORD code, DWORD, LPSTR buffer,
                                       DWORD, __ms_va_list*)
{
    Record("FormatMessageA");
    std::string text = SystemText(code);
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !(flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) ||
        text.empty()) {
        g_world.lastError = ERROR_MR_MID_NOT_FOUND;
        return 0;
    }
    size_t length = text.size();
    char* copy = (char*)LocalAlloc(LMEM_FIXED, length + 1);
    memcpy(copy, text.c_str(), length + 1);
    *(char**)buffer = copy;
    return (DWORD)length;
}

// The machine a 32-bit program runs on, as world().nativeMachine says.
static BOOL WINAPI FakeIsWow64Process2(HANDLE, USHORT* processMachine, USHORT* nativeMachine)
{
    *processMachine = IMAGE_FILE_MACHINE_I386;
    *nativeMachine = g_world.nativeMachine;
    return TRUE;
}

// ws2_32 is loaded at run time; its calls are in winsock_fake.cpp.
static const HMODULE kWinsock = (HMODULE)0x7E520000;

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR name)
{
    Record("LoadLibraryA");
    return !Injected("LoadLibraryA") && strcasecmp(name, "ws2_32.dll") == 0 ? kWinsock : nullptr;
}

extern "C" BOOL WINAPI FreeLibrary(HMODULE module)
{
    Record("FreeLibrary");
    return module == kWinsock;
}

extern "C" DWORD WINAPI GetTickCount(void) { return g_world.clock; }
extern "C" void WINAPI Sleep(DWORD milliseconds) { g_world.clock += milliseconds; }

// Windows 10 1511 and later only: the stand-in is one of those.
extern "C" FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
{
    if (module == kWinsock)
        return WinsockCall(name);
    return strcmp(name, "IsWow64Process2") == 0 ? (FARPROC)(void (*)(void))FakeIsWow64Process2 : nullptr;
}

extern "C" HANDLE WINAPI GetCurrentProcess(void) { return (HANDLE)~(ULONG_PTR)0; }
extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR) { return (HMODULE)0x7E570000; }

// ---- kernel32: files, backed by real host files ----

extern "C" HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                                     DWORD disposition, DWORD, HANDLE)
{
    Record("CreateFileA");
    if (Injected("CreateFileA"))
        return INVALID_HANDLE_VALUE;
    if (path == nullptr || path[0] == '\0') {
        g_world.lastError = ERROR_PATH_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    if (g_world.filesHereOnly && (path[0] == '/' || strstr(path, "..") != nullptr)) {
        g_world.lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }

    // Sharing is checked both ways, as Windows does.
    for (const auto& entry : g_files) {
        const FileEntry& other = entry.second;
        if (other.path != path)
            continue;
        bool weRefused = ((access & GENERIC_READ) && !(other.share & FILE_SHARE_READ)) ||
                         ((access & GENERIC_WRITE) && !(other.share & FILE_SHARE_WRITE));
        bool theyRefuse = ((other.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) ||
                          ((other.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE));
        if (weRefused || theyRefuse) {
            g_world.lastError = ERROR_SHARING_VIOLATION;
            return INVALID_HANDLE_VALUE;
        }
    }

    int mode = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (disposition) {
    case CREATE_ALWAYS: mode |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    default: g_world.lastError = ERROR_INVALID_PARAMETER; return INVALID_HANDLE_VALUE;
    }
    int fd = open(path, mode, 0644);
    if (fd < 0) {
        g_world.lastError = ErrorFromErrno(errno);
        return INVALID_HANDLE_VALUE;
    }
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        g_world.lastError = ERROR_ACCESS_DENIED;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = NewHandle();
    g_files[(intptr_t)handle] = FileEntry{fd, path, access, share};
    ++g_world.openFiles;
    return handle;
}

extern "C" HANDLE WINAPI CreateFileW(LPCWSTR path, DWORD access, DWORD share,
                                     LPSECURITY_ATTRIBUTES security, DWORD disposition,
                                     DWORD attributes, HANDLE templateFile)
{
    // Host file names are UTF-8.
    std::string name = std::filesystem::path(path).string();
    HANDLE handle = CreateFileA(name.c_str(), access, share, security, disposition, attributes,
                                templateFile);
    g_world.calls.back() = "CreateFileW";
    return handle;
}

extern "C" BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD bytesRead,
                                LPOVERLAPPED)
{
    Record("ReadFile");
    *bytesRead = 0;
    if (Injected("ReadFile"))
        return FALSE;
    FileEntry* file = FindFile(handle);
    if (file == nullptr || !(file->access & GENERIC_READ))
        return Fail(file == nullptr ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED);
    ssize_t got = read(file->fd, buffer, size);
    if (got < 0)
        return Fail(ERROR_READ_FAULT);
    *bytesRead = (DWORD)got;
    return TRUE;
}

extern "C" BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD size, LPDWORD written,
                                 LPOVERLAPPED)
{
    Record("WriteFile");
    if (written != nullptr)
        *written = 0;
    if (Injected("WriteFile"))
        return FALSE;
    FileEntry* file = FindFile(handle);
    if (file == nullptr || !(file->access & GENERIC_WRITE))
        return Fail(file == nullptr ? ERROR_INVALID_HANDLE : ERROR_ACCESS_DENIED);
    ssize_t put = write(file->fd, buffer, size);
    if (put < 0)
        return Fail(ERROR_WRITE_FAULT);
    if (written != nullptr)
        *written = (DWORD)put;
    NoteEventCode((const char*)buffer, size);
    return TRUE;
}

extern "C" DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD high)
{
    Record("GetFileSize");
    if (Injected("GetFileSize"))
        return INVALID_FILE_SIZE;
    FileEntry* file = FindFile(handle);
    struct stat info;
    if (file == nullptr || fstat(file->fd, &info) != 0) {
        g_world.lastError = ERROR_INVALID_HANDLE;
        return INVALID_FILE_SIZE;
    }
    if (high != nullptr)
        *high = (DWORD)((unsigned long long)info.st_size >> 32);
    return (DWORD)info.st_size;
}

extern "C" DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, LPLONG high, DWORD method)
{
    Record("SetFilePointer");
    if (Injected("SetFilePointer"))
        return INVALID_SET_FILE_POINTER;
    FileEntry* file = FindFile(handle);
    if (file == nullptr) {
        g_world.lastError = ERROR_INVALID_HANDLE;
        return INVALID_SET_FILE_POINTER;
    }
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t offset = high != nullptr ? (off_t)(((long long)*high << 32) | (DWORD)distance) : distance;
    off_t at = lseek(file->fd, offset, whence);
    if (at < 0) {
        g_world.lastError = ERROR_NEGATIVE_SEEK;
        return INVALID_SET_FILE_POINTER;
    }
    if (high != nullptr)
        *high = (LONG)(at >> 32);
    return (DWORD)at;
}

extern "C" HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name)
{
    Record("CreateMutexA");
    g_world.lastError = g_world.otherCopysMutexes.count(name) ? ERROR_ALREADY_EXISTS : 0;
    HANDLE handle = NewHandle();
    g_mutexes[(intptr_t)handle] = name;
    ++g_world.openMutexes;
    return handle;
}

// Another copy's mutex is never released: the wait runs its whole time.
extern "C" DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    Record("WaitForSingleObject");
    if (!g_world.otherCopysMutexes.count(g_mutexes.at((intptr_t)handle)))
        return WAIT_OBJECT_0;
    g_world.clock += milliseconds;
    return WAIT_TIMEOUT;
}

extern "C" BOOL WINAPI ReleaseMutex(HANDLE handle)
{
    Record("ReleaseMutex");
    return g_mutexes.count((intptr_t)handle) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

extern "C" BOOL WINAPI CloseHandle(HANDLE handle)
{
    Record("CloseHandle");
    if (g_mutexes.erase((intptr_t)handle)) {
        --g_world.openMutexes;
        return TRUE;
    }
    auto it = g_files.find((intptr_t)handle);
    if (it == g_files.end())
        return Fail(ERROR_INVALID_HANDLE);
    close(it->second.fd);
    g_files.erase(it);
    --g_world.openFiles;
    return TRUE;
}

// ---- advapi32: an in-memory registry ----

extern "C" LSTATUS WINAPI RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD, REGSAM access,
                                        PHKEY result)
{
    Record("RegOpenKeyExA");
    if (LSTATUS injected = InjectedStatus("RegOpenKeyExA"))
        return injected;
    std::string parent = RootName(root);
    if (parent.empty())
        return ERROR_INVALID_HANDLE;
    std::string path = JoinKey(parent, subKey);
    if (Refused(path, access))
        return ERROR_ACCESS_DENIED;
    if (path != parent && !g_world.registry.count(path))
        return ERROR_FILE_NOT_FOUND;
    HANDLE handle = NewHandle();
    g_keys[(intptr_t)handle] = path;
    ++g_world.openKeys;
    *result = (HKEY)handle;
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD, LPSTR, DWORD options,
                                          REGSAM access, LPSECURITY_ATTRIBUTES, PHKEY result,
                                          LPDWORD)
{
    Record("RegCreateKeyExA");
    if (LSTATUS injected = InjectedStatus("RegCreateKeyExA"))
        return injected;
    std::string parent = RootName(root);
    if (parent.empty())
        return ERROR_INVALID_HANDLE;
    std::string path = JoinKey(parent, subKey);
    if (Refused(path, access))
        return ERROR_ACCESS_DENIED;
    // Keys that do not exist yet are made with the options asked for.
    size_t at = 0;
    do {
        at = path.find('\\', at + 1);
        std::string key = path.substr(0, at);
        if (!g_world.registry.count(key))
            g_world.registry[key].isVolatile = (options & REG_OPTION_VOLATILE) != 0;
    } while (at != std::string::npos);
    HANDLE handle = NewHandle();
    g_keys[(intptr_t)handle] = path;
    ++g_world.openKeys;
    *result = (HKEY)handle;
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type,
                                           LPBYTE data, LPDWORD size)
{
    Record("RegQueryValueExA");
    if (LSTATUS injected = InjectedStatus("RegQueryValueExA"))
        return injected;
    auto open = g_keys.find((intptr_t)key);
    if (open == g_keys.end())
        return ERROR_INVALID_HANDLE;
    const RegistryValue* value = FindRegistryValue(open->second, name ? name : "");
    if (value == nullptr)
        return ERROR_FILE_NOT_FOUND;
    if (type != nullptr)
        *type = value->type;
    DWORD needed = (DWORD)value->data.size();
    if (data == nullptr) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    // Too small: what fits may already have been copied, as Windows does not promise otherwise.
    if (*size < needed) {
        memcpy(data, value->data.data(), *size);
        *size = needed;
        return ERROR_MORE_DATA;
    }
    if (needed != 0)
        memcpy(data, value->data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data,
                                         DWORD size)
{
    Record("RegSetValueExA");
    if (LSTATUS injected = InjectedStatus("RegSetValueExA"))
        return injected;
    auto open = g_keys.find((intptr_t)key);
    if (open == g_keys.end())
        return ERROR_INVALID_HANDLE;
    RegistryValue& value = g_world.registry[open->second].values[name ? name : ""];
    value.type = type;
    value.data.assign(data, data + size);
    return ERROR_SUCCESS;
}

extern "C" LSTATUS WINAPI RegCloseKey(HKEY key)
{
    Record("RegCloseKey");
    if (!g_keys.erase((intptr_t)key))
        return ERROR_INVALID_HANDLE;
    --g_world.openKeys;
    return ERROR_SUCCESS;
}

// ---- advapi32: the event log ----

extern "C" HANDLE WINAPI RegisterEventSourceA(LPCSTR server, LPCSTR source)
{
    Record("RegisterEventSourceA");
    bool refused = Injected("RegisterEventSourceA") || server || strcmp(source, "Quvara");
    return refused ? nullptr : (++g_world.openEventSources, (HANDLE)0xE7E1);
}

extern "C" BOOL WINAPI ReportEventW(HANDLE source, WORD type, WORD category, DWORD id, PSID user,
                                    WORD count, DWORD dataSize, LPCWSTR* strings, LPVOID data)
{
    Record("ReportEventW");
    std::vector<std::string> texts;
    bool tooLong = false;  // "Each string is limited to 31,839 characters"
    for (WORD i = 0; i < count; ++i) {
        texts.push_back(Utf8(strings[i]));
        tooLong = tooLong || std::u16string(strings[i]).size() > 31839;
    }
    bool refused = Injected("ReportEventW") || source != (HANDLE)0xE7E1 || tooLong;
    if (refused || category || user || dataSize || data)
        return Fail(ERROR_INVALID_PARAMETER);
    g_world.events.push_back({type, id, texts});
    return TRUE;
}

extern "C" BOOL WINAPI DeregisterEventSource(HANDLE source)
{
    return source == (HANDLE)0xE7E1 && g_world.openEventSources-- > 0;
}

// ---- winspool: a recording spooler ----

extern "C" BOOL WINAPI OpenPrinterA(LPSTR name, HANDLE* printer, LPPRINTER_DEFAULTSA)
{
    Record("OpenPrinterA");
    *printer = nullptr;
    if (Injected("OpenPrinterA"))
        return FALSE;
    if (name == nullptr || !g_world.printers.count(name))
        return Fail(ERROR_INVALID_PRINTER_NAME);
    HANDLE handle = NewHandle();
    g_printerHandles[(intptr_t)handle] = PrinterEntry{name, -1};
    ++g_world.openPrinters;
    *printer = handle;
    return TRUE;
}

extern "C" DWORD WINAPI StartDocPrinterA(HANDLE handle, DWORD level, LPBYTE info)
{
    Record("StartDocPrinterA");
    if (Injected("StartDocPrinterA"))
        return 0;
    PrinterEntry* printer = FindPrinter(handle);
    if (printer == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (level != 1 || info == nullptr || printer->job >= 0)
        return Fail(ERROR_INVALID_PARAMETER);
    const DOC_INFO_1A* doc = (const DOC_INFO_1A*)info;
    // Only an XPS-based driver's print processor knows XPS_PASS.
    bool xps = false;
    for (const InstalledDriver& driver : g_world.installedDrivers)
        xps = xps || (!strcasecmp(driver.name.c_str(), g_world.printerDrivers[printer->name].c_str())
                      && (driver.attributes & kDriverXps));
    if (doc->pDatatype != nullptr && strcasecmp(doc->pDatatype, "RAW") != 0 &&
        strcasecmp(doc->pDatatype, "TEXT") != 0 && !(xps && !strcasecmp(doc->pDatatype, "XPS_PASS")))
        return Fail(ERROR_INVALID_DATATYPE);
    Job job;
    job.printer = printer->name;
    job.documentName = doc->pDocName ? doc->pDocName : "";
    job.datatype = doc->pDatatype ? doc->pDatatype : "";
    g_world.jobs.push_back(job);
    printer->job = (int)g_world.jobs.size() - 1;
    return (DWORD)g_world.jobs.size();
}

// Level 8 only; the names stay the world's. A 32-bit caller's own environment is x86.
extern "C" BOOL WINAPI EnumPrinterDriversA(LPSTR server, LPSTR environment, DWORD level,
                                           LPBYTE buffer, DWORD size, LPDWORD needed,
                                           LPDWORD returned)
{
    Record("EnumPrinterDriversA");
    std::string asked = environment != nullptr ? environment : "";
    g_world.driverEnvironments.push_back(asked);
    std::vector<const InstalledDriver*> drivers;
    for (const InstalledDriver& driver : g_world.installedDrivers)
        if (asked == "all" || driver.environment == (asked.empty() ? "Windows NT x86" : asked))
            drivers.push_back(&driver);
    *needed = (DWORD)(drivers.size() * sizeof(DRIVER_INFO_8A));
    *returned = 0;
    if (Injected("EnumPrinterDriversA") || server || level != 8)
        return FALSE;
    if (buffer == nullptr || size < *needed)
        return *needed == 0 ? TRUE : Fail(ERROR_INSUFFICIENT_BUFFER);
    DRIVER_INFO_8A* info = (DRIVER_INFO_8A*)memset(buffer, 0, *needed);
    for (const InstalledDriver* driver : drivers) {
        info->pName = (LPSTR)driver->name.c_str();
        (info++)->dwPrinterDriverAttributes = driver->attributes;
    }
    *returned = (DWORD)drivers.size();
    return TRUE;
}

// Level 2 only, its strings left empty but the driver's and the port's names.
extern "C" BOOL WINAPI GetPrinterA(HANDLE handle, DWORD level, LPBYTE buffer, DWORD size,
                                   LPDWORD needed)
{
    Record("GetPrinterA");
    PrinterEntry* printer = FindPrinter(handle);
    std::string driver = printer != nullptr ? g_world.printerDrivers[printer->name] : "";
    std::string port = printer != nullptr ? g_world.printerPorts[printer->name] : "";
    *needed = (DWORD)(sizeof(PRINTER_INFO_2A) + driver.size() + port.size() + 2);
    if (Injected("GetPrinterA"))
        return FALSE;
    if (printer == nullptr || level != 2)
        return Fail(ERROR_INVALID_PARAMETER);
    if (buffer == nullptr || size < *needed)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    PRINTER_INFO_2A* info = (PRINTER_INFO_2A*)memset(buffer, 0, sizeof(PRINTER_INFO_2A));
    info->pDriverName = (LPSTR)memcpy(info + 1, driver.c_str(), driver.size() + 1);
    info->pPortName = (LPSTR)memcpy(info->pDriverName + driver.size() + 1, port.c_str(),
                                    port.size() + 1);
    info->Attributes = g_world.printerStates[printer->name].first;
    info->Status = g_world.printerStates[printer->name].second;
    return TRUE;
}

extern "C" BOOL WINAPI StartPagePrinter(HANDLE handle)
{
    Record("StartPagePrinter");
    if (Injected("StartPagePrinter"))
        return FALSE;
    PrinterEntry* printer = FindPrinter(handle);
    if (printer == nullptr || printer->job < 0)
        return Fail(ERROR_INVALID_HANDLE);
    ++g_world.jobs[printer->job].pages;
    return TRUE;
}

extern "C" BOOL WINAPI WritePrinter(HANDLE handle, LPVOID buffer, DWORD size, LPDWORD written)
{
    Record("WritePrinter");
    *written = 0;
    if (Injected("WritePrinter"))
        return FALSE;
    PrinterEntry* printer = FindPrinter(handle);
    if (printer == nullptr || printer->job < 0)
        return Fail(ERROR_INVALID_HANDLE);
    Job& job = g_world.jobs[printer->job];
    // Remote Desktop's Easy Print fails every write of RAW data (the error is a guess).
    if (g_world.printerDrivers[printer->name] == "Remote Desktop Easy Print" && job.datatype == "RAW")
        return Fail(ERROR_NOT_SUPPORTED);
    const BYTE* bytes = (const BYTE*)buffer;
    job.chunks.emplace_back(bytes, bytes + size);

    DWORD accepted = size;
    for (auto it = g_shortWrites.begin(); it != g_shortWrites.end(); ++it) {
        if (--it->countdown == 0) {
            accepted = it->accepted < size ? it->accepted : size;
            g_shortWrites.erase(it);
            break;
        }
    }
    job.accepted.insert(job.accepted.end(), bytes, bytes + accepted);
    *written = accepted;
    return TRUE;
}

extern "C" BOOL WINAPI EndPagePrinter(HANDLE handle)
{
    Record("EndPagePrinter");
    if (Injected("EndPagePrinter"))
        return FALSE;
    PrinterEntry* printer = FindPrinter(handle);
    if (printer == nullptr || printer->job < 0)
        return Fail(ERROR_INVALID_HANDLE);
    return TRUE;
}

extern "C" BOOL WINAPI EndDocPrinter(HANDLE handle)
{
    Record("EndDocPrinter");
    if (Injected("EndDocPrinter"))
        return FALSE;
    PrinterEntry* printer = FindPrinter(handle);
    if (printer == nullptr || printer->job < 0)
        return Fail(ERROR_INVALID_HANDLE);
    g_world.jobs[printer->job].ended = true;
    printer->job = -1;
    return TRUE;
}

extern "C" BOOL WINAPI PrinterProperties(HWND owner, HANDLE handle)
{
    Record("PrinterProperties");
    PrinterEntry* printer = FindPrinter(handle);
    if (printer == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    g_world.propertySheets.push_back(owner == g_world.dialog ? printer->name : "(not owned)");
    return TRUE;
}

extern "C" BOOL WINAPI ClosePrinter(HANDLE handle)
{
    Record("ClosePrinter");
    if (!g_printerHandles.erase((intptr_t)handle))
        return Fail(ERROR_INVALID_HANDLE);
    --g_world.openPrinters;
    return TRUE;
}

// ---- user32: dialogs ----

// No dialog template is built into the test program, so the dialog never opens;
// the call is recorded for tests to inspect.
extern "C" INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                                          DLGPROC procedure, LPARAM parameter)
{
    Record("DialogBoxParamA");
    g_world.dialogs.push_back({instance, (ULONG_PTR)templateName, owner, procedure, parameter});
    g_world.lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
    return -1;
}

extern "C" BOOL WINAPI EndDialog(HWND window, INT_PTR result)
{
    Record("EndDialog");
    if (window != g_world.dialog)
        return Fail(ERROR_INVALID_WINDOW_HANDLE);
    g_world.dialogEnds.push_back(result);
    return TRUE;
}

extern "C" HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name)
{
    Record("LoadIconA");
    g_iconNames.push_back(std::to_string((uintptr_t)instance) + ":" +
                          std::to_string((uintptr_t)name));
    return (HICON)(intptr_t)g_iconNames.size();
}

extern "C" LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Record("SendMessageA");
    size_t icon = (size_t)lParam;
    if (window != g_world.dialog || message != WM_SETICON || icon == 0 || icon > g_iconNames.size())
        return 0;
    g_world.icons[wParam] = g_iconNames[icon - 1];
    return 0;
}

// A drop-down list as Windows keeps one: unsorted, CB_ERR for what is not there.
extern "C" LRESULT WINAPI SendDlgItemMessageA(HWND dialog, INT id, UINT message, WPARAM wParam,
                                              LPARAM lParam)
{
    Record("SendDlgItemMessageA");
    auto found = g_world.controls.find(id);
    if (dialog != g_world.dialog || found == g_world.controls.end())
        return 0;  // no such window
    Control& control = found->second;
    std::vector<std::string>& entries = control.entries;
    bool known = wParam < entries.size();
    switch (message) {
    case CB_ADDSTRING:
        entries.push_back((const char*)lParam);
        return (LRESULT)entries.size() - 1;
    case CB_DELETESTRING:
        if (!known)
            return CB_ERR;
        entries.erase(entries.begin() + (long)wParam);
        if (control.selection == (int)wParam)
            control.selection = -1;
        else if (control.selection > (int)wParam)
            --control.selection;
        return (LRESULT)entries.size();
    case CB_SETCURSEL:
        control.selection = known ? (int)wParam : -1;
        return known ? (LRESULT)wParam : CB_ERR;
    case CB_GETCURSEL:
        return control.selection;
    case CB_GETLBTEXTLEN:
        return known ? (LRESULT)entries[wParam].size() : CB_ERR;
    case CB_GETLBTEXT:  // copies the whole entry, whatever room there is
        if (!known)
            return CB_ERR;
        memcpy((char*)lParam, entries[wParam].c_str(), entries[wParam].size() + 1);
        return (LRESULT)entries[wParam].size();
    }
    return 0;
}

extern "C" INT WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    Record("MessageBoxA");
    g_world.messageBoxes.push_back(
        {owner, text, caption, type, g_world.openFiles + g_world.openKeys + g_world.openPrinters});
    size_t turn = g_world.messageBoxes.size() - 1;
    return turn < g_world.messageBoxAnswers.size() ? g_world.messageBoxAnswers[turn] : IDOK;
}

extern "C" INT WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    INT answer = MessageBoxA(owner, Utf8(text).c_str(), Utf8(caption).c_str(), type);
    g_world.calls.back() = "MessageBoxW";
    return answer;
}

extern "C" void WINAPI SHChangeNotify(LONG event, UINT flags, LPCVOID item1, LPCVOID item2)
{
    Record("SHChangeNotify");
    g_world.shellNotifications.push_back(flags == SHCNF_IDLIST && !item1 && !item2 ? event : -1);
}

extern "C" UINT WINAPI IsDlgButtonChecked(HWND dialog, int id)
{
    Record("IsDlgButtonChecked");
    auto found = g_world.controls.find(id);
    return dialog == g_world.dialog && found != g_world.controls.end() ? found->second.checked : 0;
}

extern "C" UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int size)
{
    std::string kept = dialog == g_world.dialog ? g_world.controls[id].text.substr(0, size - 1) : "";
    memcpy(text, kept.c_str(), kept.size() + 1);
    return (UINT)kept.size();
}

extern "C" BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text)
{
    Record("SetDlgItemTextA");
    g_world.controls[id].text = text;
    return dialog == g_world.dialog;
}

extern "C" HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR name) { return (HCURSOR)name; }

extern "C" HCURSOR WINAPI SetCursor(HCURSOR cursor)
{
    Record("SetCursor");
    std::swap(cursor, g_world.cursor);
    return cursor;
}

extern "C" BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT state)
{
    Record("CheckDlgButton");
    auto found = g_world.controls.find(id);
    if (dialog != g_world.dialog || found == g_world.controls.end())
        return Fail(ERROR_INVALID_WINDOW_HANDLE);
    found->second.checked = state;
    return TRUE;
}

// ---- comdlg32: the user's pick is scripted ----

extern "C" BOOL WINAPI GetOpenFileNameA(OPENFILENAMEA* request)
{
    Record("GetOpenFileNameA");
    OpenFileRequest seen{request->lStructSize, request->hwndOwner, {}, request->nFilterIndex,
                         request->nMaxFile, request->Flags,
                         request->lpstrTitle ? request->lpstrTitle : "", true, true};
    for (const char* at = request->lpstrFilter; at != nullptr && *at != '\0'; at += strlen(at) + 1)
        seen.filter.push_back(at);
    for (DWORD i = 0; i < request->nMaxFile; ++i)
        seen.fileCleared = seen.fileCleared && request->lpstrFile[i] == '\0';
    seen.otherFieldsZero = !request->hInstance && !request->lpstrCustomFilter &&
                           !request->nMaxCustFilter && !request->lpstrFileTitle &&
                           !request->nMaxFileTitle && !request->lpstrInitialDir &&
                           !request->nFileOffset && !request->nFileExtension &&
                           !request->lpstrDefExt && !request->lCustData && !request->lpfnHook &&
                           !request->lpTemplateName && !request->pvReserved &&
                           !request->dwReserved && !request->FlagsEx;
    g_world.openFileRequests.push_back(seen);
    if (Injected("GetOpenFileNameA"))
        return FALSE;

    size_t turn = g_world.openFileRequests.size() - 1;
    std::string path = turn < g_world.openFileAnswers.size() ? g_world.openFileAnswers[turn] : "";
    if (path.empty())
        return FALSE;
    // A path that does not fit fails the dialog, which leaves the size it needs behind.
    if (path.size() >= request->nMaxFile) {
        *(WORD*)request->lpstrFile = (WORD)(path.size() + 1);
        return FALSE;
    }
    memcpy(request->lpstrFile, path.c_str(), path.size() + 1);
    return TRUE;
}

// ---- winspool: listings, laid out as the spooler does: records, then their strings ----

extern "C" BOOL WINAPI EnumPrintersA(DWORD flags, LPSTR server, DWORD level, LPBYTE buffer,
                                     DWORD size, LPDWORD needed, LPDWORD returned)
{
    Record("EnumPrintersA");
    *needed = 0;
    *returned = 0;
    if (Injected("EnumPrintersA"))
        return FALSE;
    std::vector<std::string> names;
    if (server == nullptr && level == 5 && flags == (PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS))
        for (const ListedPrinter& printer : g_world.localPrinters)
            names.push_back(printer.name);
    else if (server == nullptr && level == 1 && flags == PRINTER_ENUM_REMOTE)
        names = g_world.remotePrinters;
    else
        return Fail(ERROR_INVALID_PARAMETER);

    size_t record = level == 5 ? sizeof(PRINTER_INFO_5A) : sizeof(PRINTER_INFO_1A);
    size_t total = names.size() * record;
    for (const std::string& name : names)
        total += name.size() + 1;
    *needed = (DWORD)total;
    if (buffer == nullptr || size < total)
        return total == 0 ? TRUE : Fail(ERROR_INSUFFICIENT_BUFFER);

    char* text = (char*)buffer + names.size() * record;
    for (size_t i = 0; i < names.size(); ++i) {
        memcpy(text, names[i].c_str(), names[i].size() + 1);
        if (level == 5) {
            PRINTER_INFO_5A* info = (PRINTER_INFO_5A*)buffer + i;
            info->pPrinterName = text;
            info->Attributes = g_world.localPrinters[i].attributes;
        } else {
            ((PRINTER_INFO_1A*)buffer + i)->pName = text;
        }
        text += names[i].size() + 1;
    }
    *returned = (DWORD)names.size();
    return TRUE;
}
