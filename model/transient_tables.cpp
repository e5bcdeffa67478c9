#include "model/transient_tables.h"

#include "textio/failure.h"
#include "textio/number_text.h"

namespace etherm {

namespace {

// The token of x's 23-character text, without the blanks in front.
std::string_view Token(double x, char (&buffer)[kNumberBufferSize]) {
  const char* end = FormatExponentTo(buffer, x, 23);
  const char* start = buffer;
  while (start < end && *start == ' ') ++start;
  return std::string_view(start, static_cast<std::size_t>(end - start));
}

[[noreturn]] void Unreadable(std::string_view token) {
  throw Failure("Invalid numeric input: \"" + std::string(token) + "\"");
}

}  // namespace

double AsWritten(double x) {
  char buffer[kNumberBufferSize];
  const std::string_view token = Token(x, buffer);
  double value = 0;
  if (!ParseRealToken(token, &value)) Unreadable(token);
  return value;
}

long double AsWrittenExtended(double x) {
  char buffer[kNumberBufferSize];
  const std::string_view token = Token(x, buffer);
  long double value = 0;
  if (!ParseExtendedToken(token, &value)) Unreadable(token);
  return value;
}

void AppendRowText(std::string& out, const TransientRow& row, int count) {
  char buffer[kNumberBufferSize];
  out.append(buffer, FormatExponentTo(buffer, row.time, 23));
  out += ' ';
  for (int i = 1; i <= count; ++i) {
    out.append(buffer, FormatExponentTo(buffer, row.value[static_cast<std::size_t>(i)], 23));
    out += ' ';
  }
}

std::string RowsText(const std::vector<TransientRow>& rows, int count) {
  std::string text;
  for (const TransientRow& row : rows) {
    AppendRowText(text, row, count);
    text += "\r\n";
  }
  return text;
}

}  // namespace etherm
