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
  CWideBuffer buffer(static_cast<wchar_t*>(CheckedMalloc((cch + 1) * sizeof(wchar_t))));
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

// The size modifiers that every runtime reads alike. Others (z, t, j, F, N, a
// repeated modifier, I before anything but an integer) are read differently from
// one runtime to the next: the runtime of this very machine may print them as text
// and take no argument for them.
enum class Modifier { kNone, kShort, kLong, kLongLong, kInt32, kInt64, kNative, kLongDouble, kWide };

Modifier ReadModifier(const wchar_t*& p) {
  switch (*p) {
    case L'h': ++p; return Modifier::kShort;
    case L'w': ++p; return Modifier::kWide;
    case L'L': ++p; return Modifier::kLongDouble;
    case L'l':
      if (p[1] == L'l') {
        p += 2;
        return Modifier::kLongLong;
      }
      ++p;
      return Modifier::kLong;
    case L'I':
      if (p[1] == L'3' && p[2] == L'2') {
        p += 3;
        return Modifier::kInt32;
      }
      if (p[1] == L'6' && p[2] == L'4') {
        p += 3;
        return Modifier::kInt64;
      }
      ++p;
      return Modifier::kNative;
    default:
      return Modifier::kNone;
  }
}

bool IsTextModifier(Modifier mod) {
  return mod == Modifier::kNone || mod == Modifier::kShort || mod == Modifier::kLong || mod == Modifier::kWide;
}

bool IsIntegerModifier(Modifier mod) {
  return mod != Modifier::kLongDouble && mod != Modifier::kWide;
}

bool IsFloatModifier(Modifier mod) {
  return mod == Modifier::kNone || mod == Modifier::kLong || mod == Modifier::kLongDouble;
}

// Characters of a string argument up to its NUL, but never more than nLimit (a
// precision); no more is read, as the runtime reads no more.
long long TextLength(const void* pText, bool bNarrow, long long nLimit) {
  const size_t cchMax = nLimit >= 0 ? static_cast<size_t>(nLimit) : SIZE_MAX;
  if (bNarrow) return static_cast<long long>(strnlen(static_cast<const char*>(pText), cchMax));
  return static_cast<long long>(wcsnlen(static_cast<const wchar_t*>(pText), cchMax));
}

// The first try is at most this long; a longer text is sized by the runtime's count.
constexpr size_t kMaxFirstTry = 64 * 1024;

int FormatInto(wchar_t* pBuffer, size_t cch, const wchar_t* pszFormat, va_list args) {
  va_list argsFormat;
  va_copy(argsFormat, args);
  const int cchWritten = _vsnwprintf(pBuffer, cch, pszFormat, argsFormat);
  va_end(argsFormat);
  return cchWritten;
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
    // Every conversion the walk reads the way all runtimes read it adds its bound.
    // At the first one it cannot be sure of, the walk stops, before it reads an
    // argument that the runtime might not read or might read as another type: the
    // caller sizes the rest with the runtime's own count.
    for (; *p == L'-' || *p == L'+' || *p == L'0' || *p == L' ' || *p == L'#'; ++p) {
      if (*p == L'#') nTotal += 2;
    }
    long long nWidth = 0;
    if (*p == L'*') {
      nWidth = va_arg(args, int);
      if (nWidth < 0) nWidth = -nWidth;  // left-justified in its magnitude
      ++p;
      if (*p >= L'0' && *p <= L'9') break;
    } else {
      nWidth = ReadNumber(p);
    }
    long long nPrecision = -1;  // none
    if (*p == L'.') {
      ++p;
      if (*p == L'*') {
        nPrecision = va_arg(args, int);
        if (nPrecision < 0) nPrecision = -1;  // a negative precision is none
        ++p;
      } else {
        nPrecision = ReadNumber(p);
      }
    }
    const Modifier mod = ReadModifier(p);
    const wchar_t chType = *p;
    long long nItem = 0;
    if (chType == L'c' || chType == L'C') {
      if (!IsTextModifier(mod)) break;
      (void)va_arg(args, int);
      nItem = 2;
      if (nPrecision > 0 && nPrecision < nItem) nItem = nPrecision;
    } else if (chType == L's' || chType == L'S') {
      if (!IsTextModifier(mod)) break;
      const bool bNarrow = mod == Modifier::kShort || (chType == L'S' && mod == Modifier::kNone);
      const void* pText = va_arg(args, const void*);
      nItem = pText ? TextLength(pText, bNarrow, nPrecision) : 6;  // "(null)"
      if (nItem < 1 && nPrecision != 0) nItem = 1;
      if (nPrecision >= 0 && nPrecision < nItem) nItem = nPrecision;
    } else if (chType != L'\0' && wcschr(L"diouxX", chType)) {
      if (!IsIntegerModifier(mod)) break;
      if (mod == Modifier::kLongLong || mod == Modifier::kInt64 || mod == Modifier::kNative) {
        (void)va_arg(args, long long);
      } else {
        (void)va_arg(args, int);
      }
      // Digits (22 at most, octal of 64 bits) and a sign; '#' was counted with the flags.
      nItem = 32;
      if (nWidth + nPrecision + 2 > nItem) nItem = nWidth + nPrecision + 2;
    } else if (chType == L'p') {
      if (mod != Modifier::kNone) break;
      (void)va_arg(args, const void*);
      nItem = 32;
      if (nWidth + nPrecision + 1 > nItem) nItem = nWidth + nPrecision + 1;
    } else if (chType == L'e' || chType == L'E' || chType == L'f' || chType == L'g' || chType == L'G') {
      if (!IsFloatModifier(mod)) break;
      const double dValue = va_arg(args, double);
      const long long nFraction = nPrecision >= 0 ? nPrecision : 6;
      // Fixed notation writes every digit before the point: up to 309 of them.
      const long long nWhole = chType == L'f' && (dValue >= 1e100 || dValue <= -1e100) ? 310 : 100;
      nItem = 128;
      if (nWidth + nFraction + nWhole + 8 > nItem) nItem = nWidth + nFraction + nWhole + 8;
    } else if (chType == L'n') {
      if (!IsIntegerModifier(mod)) break;
      (void)va_arg(args, void*);
    } else {
      break;  // text to one runtime, a conversion to another
    }
    if (nWidth > nItem) nItem = nWidth;
    nTotal += nItem;
    ++p;
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
  size_t cchBuffer = EstimateFormatLengthV(pszFormat, argsWalk);
  va_end(argsWalk);
  if (cchBuffer > kMaxFirstTry) cchBuffer = kMaxFirstTry;

  CWideBuffer buffer = AllocBuffer(cchBuffer);
  // _vsnwprintf writes at most cch characters and adds the NUL only when there is
  // room. A cut text returns -1, except that Wine's runtime returns the count so
  // far when the cut falls inside a %c or %C with a width: only the runtime's own
  // count tells a whole text from a cut one.
  int cchWritten = FormatInto(buffer.get(), cchBuffer, pszFormat, args);
  va_list argsCount;
  va_copy(argsCount, args);
  const int cchNeeded = _vscwprintf(pszFormat, argsCount);
  va_end(argsCount);
  if (cchNeeded < 0) return E_FAIL;
  if (cchWritten != cchNeeded) {
    cchBuffer = static_cast<size_t>(cchNeeded);
    buffer = AllocBuffer(cchBuffer);
    cchWritten = FormatInto(buffer.get(), cchBuffer, pszFormat, args);
    if (cchWritten != cchNeeded) return E_FAIL;
  }

  // The whole text, a NUL from %c and what follows it included.
  BSTR bstr = CheckedSysAllocStringLen(buffer.get(), static_cast<UINT>(cchWritten));
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
