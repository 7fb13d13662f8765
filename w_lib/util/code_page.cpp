// Shift-JIS to UTF-8 through the system's converter: iconv's CP932 where
// there is iconv, the code page 932 of the system on Windows. Both follow the
// same table, so a name converts to the same bytes on every platform. The
// browser's build has no such converter: it is given iconv's table, as
// written on the build machine (web/code_page_table.cpp), in
// VELLMAR_CODE_PAGE_TABLE. The way back is made from the same table.
#include "w_lib/util/code_page.h"

#include <cstdint>
#include <unordered_map>

#if defined(_WIN32)
#include <windows.h>
#elif !defined(VELLMAR_CODE_PAGE_TABLE)
#include <mutex>

#include "w_lib/util/iconv_character.h"
#endif

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// The length of the valid UTF-8 sequence at text[i], or 0 when there is
// none: no overlong forms, no surrogates, nothing above U+10FFFF.
size_t Utf8SequenceAt(std::string_view text, size_t i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char c = byte(i);
  if (c < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return length;
}

std::string KeepValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8SequenceAt(text, i);
    if (n == 0) {
      out += kReplacement;
      ++i;
    } else {
      out.append(text.data() + i, n);
      i += n;
    }
  }
  return out;
}

void AppendCodePoint(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// Lead bytes of two-byte characters of code page 932.
bool IsShiftJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The code point of one Shift-JIS character of one or two bytes, or 0 when
// the system knows none.
uint32_t ShiftJisCharacter(const char* bytes, size_t n);

#if defined(_WIN32)
uint32_t ShiftJisCharacter(const char* bytes, size_t n) {
  wchar_t wide[2] = {};
  const int got = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(n), wide, 2);
  return got == 1 ? static_cast<uint32_t>(wide[0]) : 0;
}
#elif defined(VELLMAR_CODE_PAGE_TABLE)
uint32_t ShiftJisCharacter(const char* bytes, size_t n) {
  struct Entry {
    uint16_t code;
    uint32_t code_point;
  };
  static constexpr Entry kTable[] = {
#include VELLMAR_CODE_PAGE_TABLE
  };
  static const std::unordered_map<uint16_t, uint32_t> table = [] {
    std::unordered_map<uint16_t, uint32_t> map;
    for (const Entry& e : kTable) map.emplace(e.code, e.code_point);
    return map;
  }();
  const auto byte = [bytes](size_t i) { return static_cast<uint16_t>(static_cast<unsigned char>(bytes[i])); };
  const uint16_t code = n > 1 ? static_cast<uint16_t>(byte(0) << 8 | byte(1)) : byte(0);
  // A two-byte code never lies below 0x8100, so one byte cannot pass for one.
  const auto found = table.find(code);
  return found == table.end() ? 0 : found->second;
}
#else
// One converter for the process, opened on first use; (iconv_t)-1 when the
// system has no CP932 table.
iconv_t ShiftJisConverter() {
  static const iconv_t converter = iconv_open("UTF-32LE", "CP932");
  return converter;
}

uint32_t ShiftJisCharacter(const char* bytes, size_t n) {
  const iconv_t converter = ShiftJisConverter();
  if (converter == reinterpret_cast<iconv_t>(-1)) return 0;
  // A converter keeps its state between calls: the jobs of one batch and
  // the plug-in's exports on other threads take turns with it.
  static std::mutex in_use;
  const std::lock_guard<std::mutex> lock(in_use);
  return IconvCharacter(converter, bytes, n);
}
#endif

std::string ShiftJisToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3 / 2);
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    // ASCII is the same in both; the converter is asked only for the rest.
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    const size_t n = IsShiftJisLead(c) && i + 1 < text.size() ? 2 : 1;
    const uint32_t code = ShiftJisCharacter(text.data() + i, n);
    if (code == 0) {
      out += kReplacement;
      ++i;  // the next byte may start a character of its own
      continue;
    }
    AppendCodePoint(out, code);
    i += n;
  }
  return out;
}

// The code point of the UTF-8 sequence of n bytes at text[i] (valid, as
// Utf8SequenceAt found it).
uint32_t CodePointAt(std::string_view text, size_t i, size_t n) {
  const auto byte = [&](size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(text[i + k])); };
  if (n == 1) return byte(0);
  uint32_t c = byte(0) & (0x7Fu >> n);
  for (size_t k = 1; k < n; ++k) c = c << 6 | (byte(k) & 0x3F);
  return c;
}

// Where a code page 932 character lies: the rows that the table prefers when
// two codes read as the same character, first to last. JIS X 0208, then
// the NEC special row (0x87), then the IBM extensions (0xFA to 0xFC), then
// their NEC-selected copies (0xED, 0xEE).
int Preference(uint16_t code) {
  const unsigned lead = code >> 8;
  if (lead == 0x87) return 1;
  if (lead >= 0xFA) return 2;
  if (lead == 0xED || lead == 0xEE) return 3;
  return 0;
}

// Every character of code page 932 by its code point, made once from the
// forward table: the single-byte katakana and every two-byte code that the
// table reads; of several codes of one character, the preferred one.
const std::unordered_map<uint32_t, uint16_t>& ShiftJisCodes() {
  static const std::unordered_map<uint32_t, uint16_t> codes = [] {
    std::unordered_map<uint32_t, uint16_t> made;
    const auto add = [&](uint16_t code, const char* bytes, size_t n) {
      const uint32_t c = ShiftJisCharacter(bytes, n);
      if (c == 0) return;
      const auto [at, inserted] = made.emplace(c, code);
      if (!inserted && Preference(code) < Preference(at->second)) at->second = code;
    };
    for (unsigned b = 0xA1; b <= 0xDF; ++b) {
      const char bytes[1] = {static_cast<char>(b)};
      add(static_cast<uint16_t>(b), bytes, 1);
    }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsShiftJisLead(static_cast<unsigned char>(lead))) continue;
      for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        add(static_cast<uint16_t>(lead << 8 | trail), bytes, 2);
      }
    }
    return made;
  }();
  return codes;
}

}  // namespace

std::string NameAsUtf8(std::string_view text, bool utf8) {
  return utf8 ? KeepValidUtf8(text) : ShiftJisToUtf8(text);
}

bool Utf8AsShiftJis(std::string_view text, std::string& shift_jis) {
  shift_jis.clear();
  shift_jis.reserve(text.size());
  const std::unordered_map<uint32_t, uint16_t>* codes = nullptr;
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8SequenceAt(text, i);
    if (n == 0) return false;
    const uint32_t c = CodePointAt(text, i, n);
    i += n;
    // ASCII is the same in both.
    if (c < 0x80) {
      shift_jis += static_cast<char>(c);
      continue;
    }
    if (!codes) codes = &ShiftJisCodes();
    const auto found = codes->find(c);
    if (found == codes->end()) return false;
    if (found->second > 0xFF) shift_jis += static_cast<char>(found->second >> 8);
    shift_jis += static_cast<char>(found->second & 0xFF);
  }
  return true;
}

std::string TextAsUtf8Escaped(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8SequenceAt(text, i);
    if (n != 0) {
      out.append(text.data() + i, n);
      i += n;
      continue;
    }
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const size_t pair = IsShiftJisLead(c) && i + 1 < text.size() ? 2 : 1;
    const uint32_t code = ShiftJisCharacter(text.data() + i, pair);
    if (code != 0) {
      AppendCodePoint(out, code);
      i += pair;
      continue;
    }
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 0xF];
    ++i;
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const size_t n = Utf8SequenceAt(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}
