// The user's character set, asked of the environment's locale without
// making it the process's own (which would change how the C library
// classifies and prints).
#include "tools/locale_charset.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>

#include <cstring>
#endif

bool LocaleCharsetIsUtf8() {
#if defined(_WIN32)
  return GetConsoleOutputCP() == CP_UTF8;
#else
  const locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return false;  // a locale the system lacks
  const char* charset = nl_langinfo_l(CODESET, user);
  const bool utf8 = charset && (std::strcmp(charset, "UTF-8") == 0 || std::strcmp(charset, "utf8") == 0);
  freelocale(user);
  return utf8;
#endif
}
