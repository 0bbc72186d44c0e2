/* The printing floor: what any program pays to print a label through this spooler, the
   printer opened, the whole file in one WritePrinter and the job ended, with nothing
   logged, read from the registry or checked. Usage: print-floor.exe PRINTER FILE */
#include <stdio.h>
#include <windows.h>
#include <winspool.h>

int main(int argc, char** argv)
{
    static char data[1 << 20];
    HANDLE printer = NULL;
    DOC_INFO_1A job = {"label", NULL, "RAW"};
    DWORD size, written = 0;
    FILE* file = argc == 3 ? fopen(argv[2], "rb") : NULL;
    if (file == NULL || !OpenPrinterA(argv[1], &printer, NULL))
        return 1;
    size = (DWORD)fread(data, 1, sizeof(data), file);
    fclose(file);
    if (StartDocPrinterA(printer, 1, (LPBYTE)&job) && StartPagePrinter(printer)) {
        WritePrinter(printer, data, size, &written);
        EndPagePrinter(printer);
        EndDocPrinter(printer);
    }
    ClosePrinter(printer);
    return written == size ? 0 : 1;
}
