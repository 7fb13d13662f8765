// Names as UTF-8 for formats that require it: the host's documents hold
// them in its Shift-JIS code page (Windows code page 932) unless they say
// they are UTF-8. And UTF-8 names back in that code page, for formats whose
// readers decode it.
#pragma once

#include <string>
#include <string_view>

// text as UTF-8. From Shift-JIS (utf8 false) every character is converted;
// from UTF-8 (utf8 true) the text is kept. Either way a byte sequence that
// is no character of its encoding becomes U+FFFD, one per byte, so that the
// result is always valid UTF-8.
std::string NameAsUtf8(std::string_view text, bool utf8);

// text, valid UTF-8, in code page 932 (Shift-JIS) into shift_jis: every
// character by the code that reads back as it through NameAsUtf8. False
// when text is not valid UTF-8 or holds a character that code page 932
// lacks (shift_jis then holds no meaning).
bool Utf8AsShiftJis(std::string_view text, std::string& shift_jis);

// text for a reader of UTF-8, whatever it holds (a message that carries a
// file name and a document's names): every valid UTF-8 sequence kept, every
// other character read as code page 932 (a pair of bytes, or a half-width
// katakana) converted, and every byte that is neither written as "\xNN"
// (lower-case hex). The result is always valid UTF-8.
std::string TextAsUtf8Escaped(std::string_view text);

// Whether text is valid UTF-8 (no overlong forms, surrogates or code points
// above U+10FFFF).
bool IsValidUtf8(std::string_view text);
