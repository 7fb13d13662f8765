// The character set in which the user's terminal shows text.
#pragma once

// Whether text for the user should be UTF-8: the character set of the
// user's locale (LC_ALL, LC_CTYPE, LANG) is UTF-8; on Windows, the
// console's output code page is. The process's own locale is not changed.
bool LocaleCharsetIsUtf8();
