#include "app/wide_text.h"

#include "app/globals.h"

int IsExactText(const char* ansi, const WCHAR* wide)
{
    // The ANSI text read back: a best-fitted or "?" letter comes back as another one. Read
    // this way round, no flag depends on the code page (UTF-8 refuses the best-fit ones).
    WCHAR converted[TEXT_BUFFER_SIZE];
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi, -1, converted,
                            TEXT_BUFFER_SIZE) == 0)
        return 0;
    size_t i = 0;
    while (converted[i] != 0 && converted[i] == wide[i])
        ++i;
    return converted[i] == wide[i];
}

void AnsiToWide(const char* ansi, WCHAR* wide, int size)
{
    if (MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, size) == 0)
        wide[0] = 0;
}
