#include "support/FormatGuard.h"

namespace {

// Everything the runtime accepts between '%' and the type: flags, width and
// precision (digits, '*', '.'), positional '$' and every size modifier
// (h hh l ll L I I32 I64 w F N j z t q).
template <typename Ch>
bool IsConversionSpecChar(Ch ch) {
  switch (ch) {
    case '-': case '+': case ' ': case '#': case '*': case '.': case '$':
    case 'h': case 'l': case 'L': case 'I': case 'w': case 'F': case 'N':
    case 'j': case 'z': case 't': case 'q':
      return true;
    default:
      return ch >= '0' && ch <= '9';
  }
}

template <typename Ch>
bool HasWriteConversion(const Ch* pszFormat) {
  if (!pszFormat) return false;
  const Ch* p = pszFormat;
  while (*p) {
    if (*p++ != '%') continue;
    if (*p == '%') {
      ++p;
      continue;
    }
    while (*p && IsConversionSpecChar(*p)) ++p;
    if (*p == 'n') return true;
    // A '%' that ends a malformed conversion is scanned again as a new start, so
    // "%5%n" is refused whichever way the runtime reads it.
    if (*p && *p != '%') ++p;
  }
  return false;
}

}  // namespace

bool FormatHasWriteConversion(const wchar_t* pszFormat) noexcept {
  return HasWriteConversion(pszFormat);
}

bool FormatHasWriteConversion(const char* pszFormat) noexcept {
  return HasWriteConversion(pszFormat);
}
