// Numbers in document text, read in place: the common plain decimal form
// without the general conversion, and every other form through it. The
// callers decide which bytes may end a number.
#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <cstdlib>
#include <version>

// The decimal digits that start at p, up to 8 of them and never past end:
// how many there are, with their value in value. Where 8 bytes can be read
// they are taken in one word (little-endian builds): each byte is a digit
// when subtracting '0' leaves it below 10, and the digits are summed in
// pairs, fours and eights by multiplication.
inline int LeadingDigits(const char* p, const char* end, uint64_t& value) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (end - p >= 8) {
    uint64_t x;
    std::memcpy(&x, p, sizeof x);
    // Per byte, the top bit is set unless it is a digit. A borrow or carry
    // only reaches bytes above a byte that is no digit, which are not used.
    const uint64_t not_digit = ((x + 0x4646464646464646u) | (x - 0x3030303030303030u)) & 0x8080808080808080u;
    const int n = not_digit == 0 ? 8 : __builtin_ctzll(not_digit) / 8;
    if (n == 0) {
      value = 0;
      return 0;
    }
    // The digits moved to the top bytes: the ones below read as leading zeros.
    uint64_t t = (x - 0x3030303030303030u) << (8 * (8 - n));
    t = t * 10 + (t >> 8);
    t = (((t & 0x000000FF000000FFu) * (100 + (uint64_t{1000000} << 32))) +
         (((t >> 16) & 0x000000FF000000FFu) * (1 + (uint64_t{10000} << 32)))) >>
        32;
    value = t;
    return n;
  }
#endif
  uint64_t v = 0;
  int n = 0;
  while (n < 8 && p + n != end && static_cast<unsigned char>(p[n] - '0') < 10) v = v * 10 + static_cast<uint64_t>(p[n++] - '0');
  value = v;
  return n;
}

// A run of decimal digits at q, appended to digits (modulo 2^64); returns
// its end.
inline const char* AppendDigits(const char* q, const char* end, uint64_t& digits) {
  static constexpr uint64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
  for (;;) {
    uint64_t value;
    const int n = LeadingDigits(q, end, value);
    digits = digits * kScale[n] + value;
    q += n;
    if (n < 8) return q;
  }
}

// The common form of a number, [-]digits[.digits] with at most 19 digits and
// no exponent, read without the general conversion: the digits as an integer
// divided by a power of ten, both exact in a double, is the correctly rounded
// double, and rounding that to float is correct unless it lies exactly
// halfway between two floats. Returns the end of the number, with value set,
// when that applies; otherwise null (a form this does not take, or no number).
inline const char* ScanPlainDecimal(const char* p, const char* end, float& value) {
  static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                            1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* q = p;
  const bool negative = q != end && *q == '-';
  if (negative) ++q;
  // Up to 19 digits in all fit in 64 bits whatever they are; more are
  // taken only as leading zeros, by the careful loop below.
  uint64_t digits = 0;
  const char* first = q;
  q = AppendDigits(q, end, digits);
  if (q == first) return nullptr;
  std::ptrdiff_t count = q - first;  // not long, which has 32 bits on 64-bit Windows
  int decimals = 0;
  if (q != end && *q == '.') {
    const char* fraction = ++q;
    q = AppendDigits(q, end, digits);
    decimals = static_cast<int>(q - fraction);
    if (decimals == 0 || decimals > 22) return nullptr;
    count += decimals;
  }
  if (count > 19) {
    // Digits past the nineteenth: fine only when the extra ones are
    // leading zeros. Counted again without them.
    digits = 0;
    int significant = 0;
    for (const char* d = first; d != q; ++d) {
      if (*d == '.' || (digits == 0 && *d == '0')) continue;
      if (++significant > 19) return nullptr;
      digits = digits * 10 + static_cast<uint64_t>(*d - '0');
    }
  }
  if (q != end && (*q == 'e' || *q == 'E')) return nullptr;
  if (digits > (uint64_t{1} << 53)) return nullptr;
  const double wide = static_cast<double>(digits) / kPowersOfTen[decimals];
  uint64_t bits;
  std::memcpy(&bits, &wide, sizeof bits);
  if ((bits & 0x1FFFFFFFu) == 0x10000000u) return nullptr;  // halfway between two floats
  const float narrow = static_cast<float>(wide);
  value = negative ? -narrow : narrow;
  return q;
}

// std::from_chars of a float or double in its general format, for a
// standard library without it (the one of the browser's build): the same
// form, [-](digits[.digits] | .digits)[(e|E)[+|-]digits], converted by the
// C library's correctly rounded strtof or strtod. A value past the type's
// range, or one that rounds to zero from digits that are not all zeros, is
// out of range and leaves value as it was. Infinity and NaN are not read:
// ScanDecimal refuses them either way.
template <class T>
std::from_chars_result PortableDecimalFromChars(const char* first, const char* last, T& value) {
  const auto digit = [last](const char* at) { return at != last && static_cast<unsigned char>(*at - '0') < 10; };
  const char* p = first;
  if (p != last && *p == '-') ++p;
  bool nonzero = false;
  size_t digits = 0;
  for (; digit(p); ++p, ++digits) nonzero |= *p != '0';
  if (p != last && *p == '.' && (digits > 0 || digit(p + 1))) {
    for (++p; digit(p); ++p, ++digits) nonzero |= *p != '0';
  }
  if (digits == 0) return {first, std::errc::invalid_argument};
  if (p != last && (*p == 'e' || *p == 'E')) {
    const char* e = p + 1;
    if (e != last && (*e == '+' || *e == '-')) ++e;
    if (digit(e)) {
      while (digit(e)) ++e;
      p = e;
    }
  }
  const std::string text(first, p);
  T converted;
  if constexpr (sizeof(T) == sizeof(float))
    converted = std::strtof(text.c_str(), nullptr);
  else
    converted = std::strtod(text.c_str(), nullptr);
  if (std::isinf(converted) || (converted == 0 && nonzero)) return {p, std::errc::result_out_of_range};
  value = converted;
  return {p, std::errc()};
}

// std::from_chars of a float or double where the standard library has it,
// else the portable form above.
template <class T>
std::from_chars_result DecimalFromChars(const char* first, const char* last, T& value) {
#if defined(__cpp_lib_to_chars)
  return std::from_chars(first, last, value);
#else
  return PortableDecimalFromChars(first, last, value);
#endif
}

// Any decimal form that the general conversion takes (an exponent, many
// digits), after the plain form failed: the end of the number with value
// set, or null when the text is no finite number. A value too small for a
// float reads as zero (of its sign); one too large is no finite number.
// ends(q) tells whether the byte at q may end a number: a conversion that
// stops anywhere else has not read a whole number.
template <class EndsNumber>
const char* ScanDecimal(const char* p, const char* end, float& value, EndsNumber ends) {
  float narrow = 0.0f;
  const std::from_chars_result r = DecimalFromChars(p, end, narrow);
  if (r.ec == std::errc() && ends(r.ptr) && std::isfinite(narrow)) {
    value = narrow;
    return r.ptr;
  }
  if (r.ec != std::errc::result_out_of_range || !ends(r.ptr)) return nullptr;
  // Out of a float's range is either past its largest value or below half
  // its smallest, which rounds to zero.
  double wide = 0.0;
  const std::from_chars_result rw = DecimalFromChars(p, end, wide);
  const std::string_view text(p, static_cast<size_t>(r.ptr - p));
  const bool tiny = (rw.ec == std::errc() && std::fabs(wide) < 1.0) ||
                    (rw.ec == std::errc::result_out_of_range &&
                     (text.find("e-") != std::string_view::npos || text.find("E-") != std::string_view::npos));
  if (!tiny) return nullptr;
  value = (p != end && *p == '-') ? -0.0f : 0.0f;
  return r.ptr;
}
