// The time stamp of dotXSI files: UTC+9 wall-clock time in English, computed
// with calendar arithmetic so that neither the process's time zone nor its
// locale is read or changed.
#include <charconv>
#include <cstring>
#include <string>

#include "w_lib/writers/w_writers.h"

namespace {

long long FloorDiv(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Year, month (1-12) and day (1-31) of a day count since 1970-01-01 in the
// proleptic Gregorian calendar (eras of 400 years, years starting in March).
void CivilFromDays(long long days, long long& year, int& month, int& day) {
  days += 719468;  // from 0000-03-01
  const long long era = FloorDiv(days, 146097);
  const long long doe = days - era * 146097;                                 // [0, 146096]
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // [0, 399]
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);              // [0, 365]
  const long long mp = (5 * doy + 2) / 153;                                   // March = 0
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

void AppendTwoDigits(std::string& out, int value) {
  out.push_back(static_cast<char>('0' + value / 10));
  out.push_back(static_cast<char>('0' + value % 10));
}

}  // namespace

std::string XsiTimeStamp(std::time_t now) {
  static const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const long long local = static_cast<long long>(now) + 9 * 3600;
  const long long days = FloorDiv(local, 86400);
  const long long seconds = local - days * 86400;
  long long year = 0;
  int month = 1;
  int day = 1;
  CivilFromDays(days, year, month, day);
  const long long weekday = days + 4 - FloorDiv(days + 4, 7) * 7;  // 1970-01-01 was a Thursday

  std::string out;
  out.append(kWeekdays[weekday]).push_back(' ');
  out.append(kMonths[month - 1]).push_back(' ');
  AppendTwoDigits(out, day);
  out.push_back(' ');
  AppendTwoDigits(out, static_cast<int>(seconds / 3600));
  out.push_back(':');
  AppendTwoDigits(out, static_cast<int>(seconds / 60 % 60));
  out.push_back(':');
  AppendTwoDigits(out, static_cast<int>(seconds % 60));
  out.push_back(' ');
  // printf's %d: no padding for years before 1000.
  out.append(std::to_string(year));
  return out;
}

std::time_t XsiStampTime(std::time_t now, const char* source_date_epoch) {
  constexpr long long kLast = 253402300799LL;  // 9999-12-31 23:59:59 UTC
  if (!source_date_epoch || *source_date_epoch < '0' || *source_date_epoch > '9') return now;
  const char* end = source_date_epoch + std::strlen(source_date_epoch);
  long long seconds = 0;
  const auto result = std::from_chars(source_date_epoch, end, seconds);
  if (result.ec != std::errc() || result.ptr != end || seconds > kLast) return now;
  return static_cast<std::time_t>(seconds);
}
