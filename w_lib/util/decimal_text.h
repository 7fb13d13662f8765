// Numbers in document text, read in place: the common plain decimal form
// without the general conversion, and every other form through it. The
// callers decide which bytes may end a number.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

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
  uint64_t digits = 0;
  int count = 0;  // digits taken, leading zeros not counted
  int decimals = 0;
  const char* first = q;
  for (; q != end && *q >= '0' && *q <= '9'; ++q) {
    if (digits == 0 && *q == '0') continue;
    if (++count > 19) return nullptr;
    digits = digits * 10 + static_cast<uint64_t>(*q - '0');
  }
  if (q == first) return nullptr;
  if (q != end && *q == '.') {
    const char* fraction = ++q;
    for (; q != end && *q >= '0' && *q <= '9'; ++q) {
      ++decimals;
      if (digits == 0 && *q == '0') continue;
      if (++count > 19) return nullptr;
      digits = digits * 10 + static_cast<uint64_t>(*q - '0');
    }
    if (q == fraction || decimals > 22) return nullptr;
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

// Any decimal form that the general conversion takes (an exponent, many
// digits), after the plain form failed: the end of the number with value
// set, or null when the text is no finite number. A value too small for a
// float reads as zero (of its sign); one too large is no finite number.
// ends(q) tells whether the byte at q may end a number: a conversion that
// stops anywhere else has not read a whole number.
template <class EndsNumber>
const char* ScanDecimal(const char* p, const char* end, float& value, EndsNumber ends) {
  float narrow = 0.0f;
  const std::from_chars_result r = std::from_chars(p, end, narrow);
  if (r.ec == std::errc() && ends(r.ptr) && std::isfinite(narrow)) {
    value = narrow;
    return r.ptr;
  }
  if (r.ec != std::errc::result_out_of_range || !ends(r.ptr)) return nullptr;
  // Out of a float's range is either past its largest value or below half
  // its smallest, which rounds to zero.
  double wide = 0.0;
  const std::from_chars_result rw = std::from_chars(p, end, wide);
  const std::string_view text(p, static_cast<size_t>(r.ptr - p));
  const bool tiny = (rw.ec == std::errc() && std::fabs(wide) < 1.0) ||
                    (rw.ec == std::errc::result_out_of_range &&
                     (text.find("e-") != std::string_view::npos || text.find("E-") != std::string_view::npos));
  if (!tiny) return nullptr;
  value = (p != end && *p == '-') ? -0.0f : 0.0f;
  return r.ptr;
}
