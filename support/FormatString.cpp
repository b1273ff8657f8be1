// FormatString: printf-style formatting into a CWideString with the Microsoft
// runtime's wide conventions (%s wide, %S narrow). mingw-w64 routes the standard
// swprintf family to its own C99 formatter, so only the runtime's _vsnwprintf and
// _vscwprintf are used here.

#include "support/FormatGuard.h"
#include "support/OutOfMemory.h"
#include "support/WideString.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace {

CWideBuffer AllocBuffer(size_t cch) {
  if (cch >= SIZE_MAX / sizeof(wchar_t) - 1) ThrowOutOfMemory();
  CWideBuffer buffer(static_cast<wchar_t*>(malloc((cch + 1) * sizeof(wchar_t))));
  if (!buffer) ThrowOutOfMemory();
  return buffer;
}

long long ReadNumber(const wchar_t*& p) {
  long long n = 0;
  while (*p >= L'0' && *p <= L'9') {
    if (n < (1LL << 40)) n = n * 10 + (*p - L'0');
    ++p;
  }
  return n;
}

// The argument sizes the size modifiers select. The estimate itself knows only
// F, L, N and l; the others are skipped too so that a format using them never
// makes the walk read an argument of another type (an integer as a string pointer).
struct Modifiers {
  bool bWide64 = false;  // ll, I64, I, j, z, t: an 8-byte integer
  bool bShort = false;   // h: %hs and %hc are narrow
  bool bLong = false;    // l, w: %lS and %lC are wide
};

Modifiers SkipModifiers(const wchar_t*& p) {
  Modifiers mods;
  for (;;) {
    switch (*p) {
      case L'F': case L'N': case L'L':
        ++p;
        continue;
      case L'l': case L'w':
        if (mods.bLong) mods.bWide64 = true;  // ll
        mods.bLong = true;
        ++p;
        continue;
      case L'h':
        mods.bShort = true;
        ++p;
        continue;
      case L'j': case L'z': case L't':
        mods.bWide64 = true;
        ++p;
        continue;
      case L'I':
        if (p[1] == L'3' && p[2] == L'2') {
          p += 3;
        } else {
          mods.bWide64 = true;
          p += (p[1] == L'6' && p[2] == L'4') ? 3 : 1;
        }
        continue;
      default:
        return mods;
    }
  }
}

}  // namespace

size_t EstimateFormatLengthV(const wchar_t* pszFormat, va_list args) {
  if (!pszFormat) return 0;
  long long nTotal = 0;
  const wchar_t* p = pszFormat;
  while (*p) {
    if (*p != L'%') {
      ++nTotal;
      ++p;
      continue;
    }
    ++p;
    if (*p == L'%') {
      ++nTotal;
      ++p;
      continue;
    }
    long long nWidth = 0, nPrecision = 0, nItem = 0;
    for (; *p; ++p) {
      if (*p == L'#') {
        nTotal += 2;
      } else if (*p == L'*') {
        nWidth = va_arg(args, int);
      } else if (*p != L'-' && *p != L'+' && *p != L'0' && *p != L' ') {
        break;
      }
    }
    // Digits after a '*' width are skipped too, so the walk stays on the
    // runtime's arguments even for such a malformed format.
    long long nDigits = ReadNumber(p);
    if (nWidth == 0) nWidth = nDigits;
    if (*p == L'.') {
      ++p;
      if (*p == L'*') {
        nPrecision = va_arg(args, int);
        ++p;
      } else {
        nPrecision = ReadNumber(p);
      }
    }
    const Modifiers mods = SkipModifiers(p);
    const wchar_t chType = *p;
    if (chType == L'\0') break;
    ++p;
    switch (chType) {
      case L'c': case L'C':
        nItem = 2;
        (void)va_arg(args, int);
        break;
      case L's': case L'S': {
        bool bNarrow = chType == L'S' ? !mods.bLong : mods.bShort;
        const void* pText = va_arg(args, const void*);
        // With a precision the runtime reads no further, so neither do we.
        size_t cchLimit = nPrecision > 0 ? static_cast<size_t>(nPrecision) : SIZE_MAX;
        if (!pText) {
          nItem = 6;  // "(null)"
        } else if (bNarrow) {
          nItem = static_cast<long long>(strnlen(static_cast<const char*>(pText), cchLimit));
        } else {
          nItem = static_cast<long long>(wcsnlen(static_cast<const wchar_t*>(pText), cchLimit));
        }
        if (nItem < 1) nItem = 1;
        if (nPrecision != 0 && nPrecision < nItem) nItem = nPrecision;
        if (nWidth > nItem) nItem = nWidth;
        break;
      }
      case L'd': case L'i': case L'o': case L'u': case L'x': case L'X': case L'p':
        nItem = nWidth + nPrecision > 32 ? nWidth + nPrecision : 32;
        if (chType == L'p') {
          (void)va_arg(args, const void*);
        } else if (mods.bWide64) {
          (void)va_arg(args, long long);
        } else {
          (void)va_arg(args, int);
        }
        break;
      case L'e': case L'f': case L'g': case L'G':
      case L'E': case L'a': case L'A':  // outside the estimate's list, but they take a double
        nItem = nWidth + nPrecision > 128 ? nWidth + nPrecision : 128;
        (void)va_arg(args, double);
        break;
      case L'n':
        nItem = 0;
        (void)va_arg(args, void*);
        break;
      case L'Z':  // a counted-string pointer: its length is learnt by the retry
        nItem = 0;
        (void)va_arg(args, const void*);
        break;
      default:
        nItem = 0;  // unknown conversion: no argument
        break;
    }
    if (nItem > 0) nTotal += nItem;
  }
  return nTotal > 0 ? static_cast<size_t>(nTotal) : 0;
}

size_t EstimateFormatLength(const wchar_t* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  size_t cch = EstimateFormatLengthV(pszFormat, args);
  va_end(args);
  return cch;
}

HRESULT FormatStringV(CWideString& target, const wchar_t* pszFormat, va_list args) {
  if (!pszFormat) pszFormat = L"";
  if (FormatHasWriteConversion(pszFormat)) return E_INVALIDARG;

  va_list argsWalk;
  va_copy(argsWalk, args);
  size_t cchEstimate = EstimateFormatLengthV(pszFormat, argsWalk);
  va_end(argsWalk);

  CWideBuffer buffer = AllocBuffer(cchEstimate);
  // _vsnwprintf writes at most cch characters; it adds the NUL only when there is
  // room and returns -1 when the output was cut short.
  va_list argsFormat;
  va_copy(argsFormat, args);
  int cchWritten = _vsnwprintf(buffer.get(), cchEstimate, pszFormat, argsFormat);
  va_end(argsFormat);

  // A runtime that reports the full length instead of -1 is cut short just the same.
  if (cchWritten < 0 || static_cast<size_t>(cchWritten) > cchEstimate) {
    // The estimate does not bound every format (huge fixed-notation values,
    // negative '*' widths, conversions it does not know): ask the runtime for
    // the exact size and format once more.
    va_list argsCount;
    va_copy(argsCount, args);
    int cchNeeded = _vscwprintf(pszFormat, argsCount);
    va_end(argsCount);
    if (cchNeeded < 0) return E_FAIL;
    buffer = AllocBuffer(static_cast<size_t>(cchNeeded));
    va_copy(argsFormat, args);
    cchWritten = _vsnwprintf(buffer.get(), static_cast<size_t>(cchNeeded), pszFormat, argsFormat);
    va_end(argsFormat);
    if (cchWritten < 0 || cchWritten > cchNeeded) return E_FAIL;
  }
  buffer[static_cast<size_t>(cchWritten)] = L'\0';

  BSTR bstr = SysAllocString(buffer.get());
  if (!bstr) return E_OUTOFMEMORY;  // the target keeps its text
  target.Attach(bstr);
  return S_OK;
}

HRESULT FormatString(CWideString& target, const wchar_t* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  HRESULT hr = FormatStringV(target, pszFormat, args);
  va_end(args);
  return hr;
}
