/* Test helper: starts a program with a command line given byte for byte.
 *
 *   launch.exe FILE      run the command line held in FILE (no trailing newline),
 *                        wait for it and exit with its exit code
 *   launch.exe -u FILE   the same with FILE in UTF-8, started as wide text (as Explorer
 *                        and browsers start programs)
 *   launch.exe -m CODE   write the system's message text for error CODE to stdout,
 *                        exactly as FormatMessageA returns it
 *   launch.exe -w FILE   hold FILE open for writing (sharing reading, as a browser
 *                        writing a download does), say "holding" and wait for stdin to close
 *   launch.exe -s        write the setup dialog's selected printer to stdout in UTF-8;
 *                        exit 1 if there is none
 *   launch.exe -t        write the text of the open message box captioned "Quvara" to
 *                        stdout in UTF-8; exit 1 if there is none
 *
 * Wine builds a Windows command line from Unix arguments by its own quoting rules, so
 * a test that must control the quotes puts them in a file instead.
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* A hung program must fail its test, not stall the whole run. */
#define CHILD_TIME_LIMIT_MS 120000

/* Same rule as the C runtime's start-up: quotes toggle, the name ends at a blank. */
static const char *SkipProgramName(const char *line)
{
    int quoted = 0;
    while (*line && (quoted || (unsigned char)*line > ' ')) {
        if (*line == '"')
            quoted = !quoted;
        line++;
    }
    while (*line && (unsigned char)*line <= ' ')
        line++;
    return line;
}

static int WriteMessageText(DWORD code)
{
    char *text = NULL;
    DWORD written;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                      FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  NULL, code, 0x400, (char *)&text, 0, NULL);
    if (length)
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, NULL);
    LocalFree(text);
    return 0;
}

static int HoldForWriting(const char *path)
{
    char ignored;
    DWORD got;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "launch: cannot open '%s' for writing (error %lu)\n", path, GetLastError());
        return 1;
    }
    printf("holding\n");
    fflush(stdout);
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &ignored, 1, &got, NULL) && got != 0) {
    }
    CloseHandle(file);
    return 0;
}

static int WriteUtf8(const WCHAR *text)
{
    char utf8[8192];
    DWORD written;
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, NULL, NULL);
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8, length > 0 ? length - 1 : 0, &written, NULL);
    return length > 0 ? 0 : 1;
}

/* The setup dialog's selected printer, read as UTF-16: across processes Wine answers
 * in UTF-16 even to SendMessageA. */
static int WriteSelectedPrinter(void)
{
    WCHAR name[1024] = {0};
    HWND list = GetDlgItem(FindWindowA(NULL, "Vellanor 5.1.1 setup"), 1000);
    LRESULT selected = list ? SendMessageW(list, CB_GETCURSEL, 0, 0) : CB_ERR;
    if (selected == CB_ERR || SendMessageW(list, CB_GETLBTEXTLEN, selected, 0) >= 1024)
        return 1;
    SendMessageW(list, CB_GETLBTEXT, selected, (LPARAM)name);
    return WriteUtf8(name);
}

/* A message box is a dialog (class #32770) whose text is the static control 0xFFFF. */
static int WriteMessageBoxText(void)
{
    WCHAR text[4096] = {0};
    HWND label = GetDlgItem(FindWindowA("#32770", "Quvara"), 0xFFFF);
    if (!label)
        return 1;
    SendMessageW(label, WM_GETTEXT, 4096, (LPARAM)text);
    return WriteUtf8(text);
}

static char *ReadWholeFile(const char *path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD size, got = 0;
    char *text;
    if (file == INVALID_HANDLE_VALUE)
        return NULL;
    size = GetFileSize(file, NULL);
    text = calloc(size + 1, 1);
    if (text && !ReadFile(file, text, size, &got, NULL))
        got = 0;
    CloseHandle(file);
    if (text && got != size) {
        free(text);
        return NULL;
    }
    return text;
}

int main(void)
{
    const char *args = SkipProgramName(GetCommandLineA());
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;
    DWORD exitCode = 0;
    char *commandLine;
    WCHAR *wide = NULL;
    BOOL started;
    int utf8 = strncmp(args, "-u ", 3) == 0;

    if (strncmp(args, "-m ", 3) == 0)
        return WriteMessageText(strtoul(args + 3, NULL, 10));
    if (strncmp(args, "-w ", 3) == 0)
        return HoldForWriting(args + 3);
    if (strcmp(args, "-s") == 0)
        return WriteSelectedPrinter();
    if (strcmp(args, "-t") == 0)
        return WriteMessageBoxText();

    commandLine = ReadWholeFile(utf8 ? args + 3 : args);
    if (!commandLine) {
        fprintf(stderr, "launch: cannot read command line file '%s' (error %lu)\n", args,
                GetLastError());
        return 255;
    }

    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (utf8) {
        int length = MultiByteToWideChar(CP_UTF8, 0, commandLine, -1, NULL, 0);
        wide = calloc(length, sizeof(WCHAR));
        MultiByteToWideChar(CP_UTF8, 0, commandLine, -1, wide, length);
        started = CreateProcessW(NULL, wide, NULL, NULL, FALSE, 0, NULL, NULL,
                                 (STARTUPINFOW *)&startup, &process);
    } else {
        started = CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                                 &process);
    }
    if (!started) {
        fprintf(stderr, "launch: CreateProcess failed (error %lu) for: %s\n", GetLastError(),
                commandLine);
        return 254;
    }
    if (WaitForSingleObject(process.hProcess, CHILD_TIME_LIMIT_MS) == WAIT_TIMEOUT) {
        fprintf(stderr, "launch: child still running after %d s, terminated\n",
                CHILD_TIME_LIMIT_MS / 1000);
        TerminateProcess(process.hProcess, 253);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    free(commandLine);
    free(wide);
    return (int)exitCode;
}
