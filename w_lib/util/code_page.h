// Names as UTF-8 for formats that require it: the host's documents hold
// them in its Shift-JIS code page (Windows code page 932) unless they say
// they are UTF-8.
#pragma once

#include <string>
#include <string_view>

// text as UTF-8. From Shift-JIS (utf8 false) every character is converted;
// from UTF-8 (utf8 true) the text is kept. Either way a byte sequence that
// is no character of its encoding becomes U+FFFD, one per byte, so that the
// result is always valid UTF-8.
std::string NameAsUtf8(std::string_view text, bool utf8);
