#include "app/wide_text.h"

#include <cstring>

#include "app/globals.h"

int IsExactText(const char* ansi, const WCHAR* wide)
{
    // Room for any code page's longest form of a text that fits the path buffer.
    char converted[4 * TEXT_BUFFER_SIZE];
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, converted,
                                     sizeof(converted), NULL, &usedDefault);
    return length != 0 && !usedDefault && strcmp(converted, ansi) == 0;
}
