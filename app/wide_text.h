// Names Windows hands over both as ANSI and as wide text.
#pragma once

#include <windows.h>

// Windows makes ANSI text from the wide one with a best-fit table: a name with letters the
// code page lacks arrives as another name ("Łabel.zpl" as "Label.zpl", which may be a
// file too; "C:\Users\Łukasz" as a folder that does not exist). 1 when ansi is wide
// converted exactly; ansi fits TEXT_BUFFER_SIZE.
int IsExactText(const char* ansi, const WCHAR* wide);

// ansi in wide characters; empty when it does not fit size characters. No code page
// needs more characters than bytes, so a buffer of the text's byte size always fits it.
void AnsiToWide(const char* ansi, WCHAR* wide, int size);
