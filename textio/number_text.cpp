#include "textio/number_text.h"

#include <locale.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>

namespace etherm {

namespace {

// The 18 significant decimal digits of a finite, nonzero |x| and its decimal exponent:
// |x| ~ d0.d1d2...d17 x 10^exponent. std::to_chars rounds correctly, so this is the
// "decimal expansion to 18 significant digits" the rounding rules start from.
struct Digits18 {
  char digit[18];
  int exponent;
};

Digits18 ExpandTo18DigitsExactly(double magnitude) {
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, 17);
  // Form: d.ddddddddddddddddde[+-]xx
  Digits18 d;
  d.digit[0] = buf[0];
  std::memcpy(d.digit + 1, buf + 2, 17);
  const char* e = buf + 19;  // 'e'
  int exp = 0;
  std::from_chars(e + 2, res.ptr, exp);
  d.exponent = (e[1] == '-') ? -exp : exp;
  return d;
}

// The shortest text that reads back as the double: up to 17 digits, padded with zeros to 18.
Digits18 ShortestDigits(double magnitude, int* count) {
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
  Digits18 d;
  std::memset(d.digit, '0', sizeof d.digit);
  const char* p = buf;
  int n = 0;
  d.digit[n++] = *p++;
  if (*p == '.') {
    ++p;
    while (*p != 'e') d.digit[n++] = *p++;
  }
  int exp = 0;
  std::from_chars(p + 2, res.ptr, exp);
  d.exponent = (p[1] == '-') ? -exp : exp;
  *count = n;
  return d;
}

// The digits that rounding to n significant digits needs. The 18-digit expansion is costly to
// produce; the shortest round-trip digits S decide the rounding the same way where the double's
// spacing cannot tip it. S lies within half a unit in the last place of the value, at most
// 1.2e-15 in units of the leading digit: far below half a unit of digit n for n <= 15, so when S
// has at most n digits the expansion rounds back to S; otherwise S decides unless its digits
// after the n-th lie within that distance of the halfway point. Subnormals, with fewer bits,
// and n >= 16 always take the exact expansion.
Digits18 ExpandTo18Digits(double magnitude, int n) {
  if (n >= 16 || magnitude < std::numeric_limits<double>::min()) {
    return ExpandTo18DigitsExactly(magnitude);
  }
  int count = 0;
  Digits18 d = ShortestDigits(magnitude, &count);
  if (count <= n) return d;
  // Digits n+1 and n+2 as units of digit n+2: 50 is the halfway point, and S may lie up to 12
  // such units off the value when n is 15, under one unit for smaller n.
  const int tail = (d.digit[n] - '0') * 10 + (d.digit[n + 1] - '0');
  const int margin = n == 15 ? 13 : 2;
  if (tail >= 50 - margin && tail <= 50 + margin) return ExpandTo18DigitsExactly(magnitude);
  return d;
}

// Rounds the digit string s (ASCII digits) to its first n digits, half away from zero, using
// the digit at position n. Returns true when the carry ran out of the first digit; the digits
// are then all '0' and the caller puts a '1' in front.
bool RoundDigitsHalfUp(char* s, int n, char next) {
  if (next < '5') return false;
  for (int i = n - 1; i >= 0; --i) {
    if (s[i] != '9') {
      ++s[i];
      return false;
    }
    s[i] = '0';
  }
  return true;
}

char* PadLeft(char* out, const char* text, int len, int w) {
  for (int i = len; i < w; ++i) *out++ = ' ';
  std::memcpy(out, text, len);
  return out + len;
}

char* WriteNonFinite(char* out, double x, int w) {
  const char* text = std::isnan(x) ? "Nan" : (std::signbit(x) ? "-Inf" : "+Inf");
  return PadLeft(out, text, static_cast<int>(std::strlen(text)), w);
}

}  // namespace

char* FormatExponentTo(char* out, double x, int w) {
  if (!std::isfinite(x)) return WriteNonFinite(out, x, w);
  int n = w - 8;
  if (n < 2) n = 2;
  if (n > 18) n = 18;
  const int len = n + 8;
  for (int i = len; i < w; ++i) *out++ = ' ';

  char mant[19];
  int exponent = 0;
  const double magnitude = std::fabs(x);
  if (magnitude == 0.0) {
    std::memset(mant, '0', n);
  } else {
    Digits18 d = ExpandTo18Digits(magnitude, n);
    std::memcpy(mant, d.digit, n);
    exponent = d.exponent;
    if (n < 18 && RoundDigitsHalfUp(mant, n, d.digit[n])) {
      mant[0] = '1';  // 9.99.. became 10.0..: one digit more in front, same digits after.
      ++exponent;
    }
  }

  *out++ = std::signbit(x) ? '-' : ' ';
  *out++ = mant[0];
  *out++ = '.';
  std::memcpy(out, mant + 1, n - 1);
  out += n - 1;
  *out++ = 'E';
  *out++ = exponent < 0 ? '-' : '+';
  const int e = exponent < 0 ? -exponent : exponent;
  *out++ = static_cast<char>('0' + e / 1000 % 10);
  *out++ = static_cast<char>('0' + e / 100 % 10);
  *out++ = static_cast<char>('0' + e / 10 % 10);
  *out++ = static_cast<char>('0' + e % 10);
  return out;
}

std::string FormatExponent(double x, int w) {
  char buf[kNumberBufferSize];
  if (w > kMaxNumberWidth) {
    std::string s(static_cast<size_t>(w) + 32, ' ');
    char* end = FormatExponentTo(s.data(), x, w);
    s.resize(static_cast<size_t>(end - s.data()));
    return s;
  }
  char* end = FormatExponentTo(buf, x, w);
  return std::string(buf, end);
}

std::string FormatReal(double x, int w, int d) {
  if (!std::isfinite(x) || std::fabs(x) >= 1e36) return FormatExponent(x, w);
  if (d < 0) d = 0;
  const double magnitude = std::fabs(x);

  // Integer digits and decimals of the expansion the rounding starts from.
  std::string intPart;
  std::string fracPart;
  if (magnitude < 10.0) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, 17);
    std::string_view s(buf, static_cast<size_t>(res.ptr - buf));
    const size_t dot = s.find('.');
    intPart.assign(s.substr(0, dot));
    fracPart.assign(s.substr(dot + 1));
  } else {
    Digits18 e = ExpandTo18DigitsExactly(magnitude);
    const int intDigits = e.exponent + 1;  // magnitude >= 10, so at least 2
    if (intDigits >= 18) {
      intPart.assign(e.digit, 18);
      intPart.append(static_cast<size_t>(intDigits - 18), '0');
    } else {
      intPart.assign(e.digit, static_cast<size_t>(intDigits));
      fracPart.assign(e.digit + intDigits, static_cast<size_t>(18 - intDigits));
    }
  }
  if (fracPart.size() < static_cast<size_t>(d) + 1)
    fracPart.resize(static_cast<size_t>(d) + 1, '0');

  std::string digits = intPart + fracPart.substr(0, static_cast<size_t>(d));
  if (RoundDigitsHalfUp(digits.data(), static_cast<int>(digits.size()), fracPart[d])) {
    digits.insert(digits.begin(), '1');
  }
  const size_t intLen = digits.size() - static_cast<size_t>(d);
  size_t firstNonZero = 0;
  while (firstNonZero + 1 < intLen && digits[firstNonZero] == '0') ++firstNonZero;

  std::string text;
  if (std::signbit(x)) text.push_back('-');
  text.append(digits, firstNonZero, intLen - firstNonZero);
  if (d > 0) {
    text.push_back('.');
    text.append(digits, intLen, static_cast<size_t>(d));
  }
  if (static_cast<int>(text.size()) < w) text.insert(0, static_cast<size_t>(w) - text.size(), ' ');
  return text;
}

std::string FormatInteger(std::int32_t n, int w) {
  std::string text = std::to_string(n);
  if (static_cast<int>(text.size()) < w) text.insert(0, static_cast<size_t>(w) - text.size(), ' ');
  return text;
}

ParsedInteger ParseInteger(std::string_view text) {
  ParsedInteger result;
  const size_t len = text.size();
  size_t i = 0;
  while (i < len && text[i] == ' ') ++i;
  bool negative = false;
  if (i < len && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < len && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < len && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  auto fail = [&](size_t pos, std::uint64_t digitsValue) {
    result.value = static_cast<std::int32_t>(static_cast<std::uint32_t>(digitsValue));
    result.errorPosition = static_cast<int>(pos) + 1;
    return result;
  };
  if (i >= len) return fail(i, 0);  // no digits at all

  const std::uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
  std::uint64_t value = 0;
  for (; i < len; ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return fail(i, value);
    }
    const std::uint64_t next = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit);
    if (next > limit) return fail(i, value);
    value = next;
  }
  if (hex) {
    const auto bits = static_cast<std::uint32_t>(value);
    result.value = static_cast<std::int32_t>(negative ? (0u - bits) : bits);
  } else {
    result.value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value))
                            : static_cast<std::int32_t>(value);
  }
  return result;
}

namespace {
double StrtodC(const char* text) {
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  return strtod_l(text, nullptr, cLocale);
}
}  // namespace

namespace {
// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
}  // namespace

bool ParseRealToken(std::string_view token, double* value) {
  const size_t len = token.size();
  size_t i = 0;
  bool negative = false;
  if (i < len && (token[i] == '+' || token[i] == '-')) {
    negative = token[i] == '-';
    ++i;
  }
  const size_t numberStart = i;
  // The digits are gathered while the token is checked, for the fast path below.
  std::uint64_t mantissa = 0;
  int significant = 0;   // digits gathered into mantissa, leading zeros not counted
  int scale = 0;         // power of ten the gathered digits are to be multiplied by
  bool dropped = false;  // digits beyond what mantissa holds exactly
  size_t mantissaDigits = 0;
  auto gather = [&](char c, bool afterPoint) {
    if (significant < 19) {
      if (mantissa != 0 || c != '0') {
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
        ++significant;
      }
      if (afterPoint) --scale;
    } else {
      dropped = dropped || c != '0';
      if (!afterPoint) ++scale;
    }
  };
  while (i < len && token[i] >= '0' && token[i] <= '9') gather(token[i++], false), ++mantissaDigits;
  bool point = false;
  if (i < len && token[i] == '.') {
    point = true;
    ++i;
    while (i < len && token[i] >= '0' && token[i] <= '9')
      gather(token[i++], true), ++mantissaDigits;
  }
  if (mantissaDigits == 0 && !point) return false;
  int exponent = 0;
  if (i < len && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < len && (token[i] == '+' || token[i] == '-')) negativeExponent = token[i++] == '-';
    size_t expDigits = 0;
    while (i < len && token[i] >= '0' && token[i] <= '9') {
      if (exponent < 100000) exponent = exponent * 10 + (token[i] - '0');
      ++i, ++expDigits;
    }
    if (expDigits == 0) return false;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != len) return false;

  double v = 0.0;
  const int power = scale + exponent;
  if (mantissaDigits == 0 || mantissa == 0) {
    v = 0.0;
  } else if (!dropped && mantissa <= (std::uint64_t{1} << 53) && power >= -22 && power <= 22) {
    // Both the digits and the power of ten are exact doubles, so one multiplication or
    // division rounds correctly (the common case of the system's own files).
    const double m = static_cast<double>(mantissa);
    v = power >= 0 ? m * kExactPowersOfTen[power] : m / kExactPowersOfTen[-power];
  } else {
    // from_chars takes no '+' and no mantissa without digits; both were handled above.
    auto res = std::from_chars(token.data() + numberStart, token.data() + len, v,
                               std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
      const std::string copy(token.substr(numberStart));
      v = StrtodC(copy.c_str());
      if (std::isinf(v)) return false;
    } else if (res.ec != std::errc() || res.ptr != token.data() + len) {
      return false;
    }
  }
  *value = negative ? -v : v;
  return true;
}

bool ParseExtendedToken(std::string_view token, long double* value) {
  // The double parse settles which tokens are numbers and the sign of a zero.
  double asDouble;
  if (!ParseRealToken(token, &asDouble)) return false;
  if (asDouble == 0) {
    *value = asDouble;
    return true;
  }
  static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  const std::string copy(token);
  *value = strtold_l(copy.c_str(), nullptr, cLocale);
  return true;
}

}  // namespace etherm
