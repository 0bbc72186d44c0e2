#!/usr/bin/env python3
"""A mutation pass over the product code: each one-line change below is applied alone,
the host tests are rebuilt and run, and the change is reported as caught or survived.
Not part of the test command (it rebuilds some forty times); run it after changing the
product or its tests:

    python3 tests/mutation/run.py [WORD...]   only the changes whose text holds a WORD

Needs the host preset configured (scripts/test.sh does that). Restores every file."""
import pathlib, subprocess, sys

ROOT = pathlib.Path(__file__).resolve().parents[2]

# (file, text as it stands, text it becomes). The text must occur exactly once.
MUTANTS = [
    # Access rights, share modes, dispositions, key options, data types.
    ("app/log.cpp", "GENERIC_READ | GENERIC_WRITE, 0, NULL", "GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL"),
    ("app/log.cpp", "CREATE_ALWAYS", "OPEN_ALWAYS"),
    ("print/raw_print.cpp", "GENERIC_READ, FILE_SHARE_READ", "GENERIC_READ, 0"),
    ("print/raw_print.cpp", "GENERIC_READ, FILE_SHARE_READ", "GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ"),
    ("print/raw_print.cpp", "GENERIC_READ, FILE_SHARE_READ", "GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE"),
    ("print/raw_print.cpp", "NULL, OPEN_EXISTING", "NULL, OPEN_ALWAYS"),
    ("print/raw_print.cpp", '(LPSTR) "RAW"', '(LPSTR) "TEXT"'),
    ("config/registry.cpp", "0, KEY_QUERY_VALUE, &key", "0, KEY_ALL_ACCESS, &key"),
    ("config/registry.cpp", "REG_OPTION_NON_VOLATILE", "REG_OPTION_VOLATILE"),
    ("config/registry.cpp", "KEY_CREATE_SUB_KEY | KEY_SET_VALUE", "KEY_ALL_ACCESS"),
    ("config/registry.cpp", "KEY_CREATE_SUB_KEY | KEY_SET_VALUE", "KEY_SET_VALUE"),
    ("config/save_configuration.cpp", "{0x00, 0x00, 0x01, 0x00}", "{0x00, 0x01, 0x00, 0x00}"),
    ("config/save_configuration.cpp", "\"EPLFile\", \"EditFlags\", REG_BINARY", "\"EPLFile\", \"EditFlags\", REG_DWORD"),
    ("config/save_configuration.cpp", "SHCNE_ASSOCCHANGED", "SHCNE_UPDATEDIR"),
    ("ui/printer_list.cpp", "LMEM_ZEROINIT", "LMEM_FIXED"),
    ("ui/printer_list.cpp", "PRINTER_ENUM_REMOTE, 1", "PRINTER_ENUM_NETWORK, 1"),
    ("ui/printer_list.cpp", "ICON_SMALL", "ICON_BIG"),
    ("ui/config_dialog.cpp", "\"Quvara\", MB_OK", "\"Quvara\", MB_OK | MB_ICONWARNING"),
    ("ui/dialog_commands.cpp", "OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST", "OFN_PATHMUSTEXIST"),
    ("ui/dialog_commands.cpp", "MB_OKCANCEL | MB_ICONWARNING", "MB_YESNO | MB_ICONWARNING"),
    ("ui/dialog_commands.cpp", "MessageBoxA(NULL,", "MessageBoxA(g_dialog,"),
    # Buffer sizes.
    ("app/log.cpp", "length + sizeof(LOG_FILE_NAME) > sizeof(path)", "length + sizeof(LOG_FILE_NAME) > sizeof(path) + 1"),
    ("app/main.cpp", "length >= sizeof(path)", "length > sizeof(path)"),
    ("config/registry.cpp", "DWORD size = TEXT_BUFFER_SIZE;", "DWORD size = TEXT_BUFFER_SIZE + 1;"),
    ("config/registry.cpp", "buffer[TEXT_BUFFER_SIZE - 1] != '\\0'", "buffer[TEXT_BUFFER_SIZE - 2] != '\\0'"),
    ("config/save_configuration.cpp", "(DWORD)strlen(text) + 1", "(DWORD)strlen(text)"),
    ("config/save_configuration.cpp", "1 + length + sizeof(OPEN_COMMAND_TAIL) > TEXT_BUFFER_SIZE", "length + sizeof(OPEN_COMMAND_TAIL) > TEXT_BUFFER_SIZE"),
    ("print/raw_print.cpp", "g_transferBuffer, sizeof(g_transferBuffer), &bytesRead", "g_transferBuffer, 512, &bytesRead"),
    ("ui/config_dialog.cpp", "length >= (LRESULT)sizeof(g_printerName)", "length > (LRESULT)sizeof(g_printerName)"),
    ("ui/dialog_commands.cpp", "request.nMaxFile = sizeof(path);", "request.nMaxFile = sizeof(path) + 100;"),
    # Comparisons.
    ("app/main.cpp", "(quoted || *at > ' ')", "(quoted || *at >= ' ')"),
    ("app/main.cpp", "const unsigned char* at = (const unsigned char*)commandLine;", "const signed char* at = (const signed char*)commandLine;"),
    ("app/main.cpp", "if (length < 2) {", "if (length < 1) {"),
    ("config/registry.cpp", "if (size < TEXT_BUFFER_SIZE)", "if (size < TEXT_BUFFER_SIZE - 1)"),
    ("print/raw_print.cpp", "if (bytesWritten != bytesRead) {", "if (bytesWritten > bytesRead) {"),
    ("print/raw_print.cpp", "if (bytesRead == 0) {", "if (bytesRead < 2) {"),
    ("ui/printer_list.cpp", "if (strcmp(name, g_printerName) == 0)", "if (strncmp(name, g_printerName, 8) == 0)"),
    ("ui/printer_list.cpp", "CB_DELETESTRING, 0, 0) > 0", "CB_DELETESTRING, 0, 0) >= 0"),
    ("ui/printer_list.cpp", "includeRemote == 1 &&", "includeRemote != 0 &&"),
    ("ui/printer_list.cpp", "*selection == NO_SELECTION && (printers", "(printers"),
    ("ui/dialog_commands.cpp", "!= BST_CHECKED", "== BST_UNCHECKED"),
    # Skipped clean-up calls and clears.
    ("app/log.cpp", "            LocalFree(systemText);", "            (void)0;"),
    ("config/registry.cpp", "    RegCloseKey(key);\n    return ok;\n}\n\nint WriteRegistryValue", "    return ok;\n}\n\nint WriteRegistryValue"),
    ("config/registry.cpp", "        // A failed query may have left part of a value behind.\n        memset(g_printerName, 0, sizeof(g_printerName));", ""),
    ("print/raw_print.cpp", "        LogEvent(GetLastError(), \"QV107\", \"Couldn't start new page\");\n        EndDocPrinter(printer);", "        LogEvent(GetLastError(), \"QV107\", \"Couldn't start new page\");"),
    ("print/raw_print.cpp", "    if (printer != NULL)\n        ClosePrinter(printer);", ""),
    ("print/raw_print.cpp", "        memset(g_transferBuffer, 0, sizeof(g_transferBuffer));\n        DWORD bytesRead", "        DWORD bytesRead"),
    ("ui/printer_list.cpp", "        DWORD error = GetLastError();\n        LocalFree(records);", "        DWORD error = GetLastError();"),
    ("ui/dialog_commands.cpp", "    ClosePrinter(printer);\n", ""),
    ("ui/config_dialog.cpp", "    memset(g_printerName, 0, sizeof(g_printerName));\n", ""),
]


def run(*command):
    return subprocess.run(command, cwd=ROOT, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


def main():
    words = sys.argv[1:]
    survivors = []
    chosen = [m for m in MUTANTS if not words or any(w in m[1] + m[2] for w in words)]
    for number, (name, before, after) in enumerate(chosen, 1):
        path = ROOT / name
        original = path.read_text()
        if original.count(before) != 1:
            print(f"{number:2} SKIPPED  {name}: text not found once: {before!r}")
            continue
        try:
            path.write_text(original.replace(before, after))
            if run("cmake", "--build", "--preset", "host", "-j2") != 0:
                verdict = "NO BUILD"
            elif run("ctest", "--preset", "host", "-j2", "--stop-on-failure") != 0:
                verdict = "caught"
            else:
                verdict = "SURVIVED"
                survivors.append((name, before, after))
        finally:
            path.write_text(original)
        short = " ".join(before.split())[:48] + " -> " + " ".join(after.split())[:40]
        print(f"{number:2} {verdict:8} {name}: {short}", flush=True)
    run("cmake", "--build", "--preset", "host", "-j2")
    print(f"{len(chosen)} changes, {len(survivors)} survived")
    return 0


if __name__ == "__main__":
    sys.exit(main())
