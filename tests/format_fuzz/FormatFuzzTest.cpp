// FormatString and CString::Format against the runtime they wrap: string arguments
// that end at an inaccessible page, and seeded random formats whose argument list
// ends at one, so that any read beyond what the runtime itself reads faults.

#include "framework/String.h"
#include "support/WideString.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// On x64 Windows a va_list is a plain pointer to 8-byte argument slots, so a test
// can hand the formatters an argument list that it laid out itself.
static_assert(sizeof(va_list) == sizeof(char*) && sizeof(void*) == 8, "argument lists are built as arrays of slots");

// Two pages, the second inaccessible: whatever is placed to end at End() faults
// when anyone reads one unit past it.
class CGuardedPage {
public:
  CGuardedPage() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    m_cbPage = info.dwPageSize;
    m_pBase = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * m_cbPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD dwOldProtect = 0;
    if (m_pBase && !VirtualProtect(m_pBase + m_cbPage, m_cbPage, PAGE_NOACCESS, &dwOldProtect)) {
      VirtualFree(m_pBase, 0, MEM_RELEASE);
      m_pBase = nullptr;
    }
  }
  ~CGuardedPage() {
    if (m_pBase) VirtualFree(m_pBase, 0, MEM_RELEASE);
  }
  CGuardedPage(const CGuardedPage&) = delete;
  CGuardedPage& operator=(const CGuardedPage&) = delete;

  bool IsValid() const { return m_pBase != nullptr; }
  BYTE* End() const { return m_pBase + m_cbPage; }

  // Copies n units so that the last one is the last readable unit of the page.
  template <typename T>
  const T* PlaceAtEnd(const T* pSource, size_t n) {
    T* pDest = reinterpret_cast<T*>(End()) - n;
    memcpy(pDest, pSource, n * sizeof(T));
    return pDest;
  }

private:
  BYTE* m_pBase = nullptr;
  DWORD m_cbPage = 0;
};

std::string Escape(const std::wstring& str) {
  std::string strOut;
  for (wchar_t ch : str) {
    if (ch >= 0x20 && ch < 0x7F && ch != L'\\') {
      strOut += static_cast<char>(ch);
    } else {
      char sz[8];
      snprintf(sz, sizeof sz, "\\u%04X", static_cast<unsigned>(ch));
      strOut += sz;
    }
  }
  return strOut;
}

// What is being formatted, so that a fault names its case before the process dies.
struct CurrentCase {
  const wchar_t* pszFormat = nullptr;
  const char* pszStep = nullptr;
  unsigned long long nCase = 0;
};
CurrentCase g_current;

LONG CALLBACK ReportFault(EXCEPTION_POINTERS* pInfo) {
  if (pInfo->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && g_current.pszStep) {
    fprintf(stderr, "access violation in %s, case %llu, format \"%s\"\n", g_current.pszStep, g_current.nCase,
            Escape(g_current.pszFormat ? g_current.pszFormat : L"").c_str());
    fflush(stderr);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

class CFaultReporter {
public:
  CFaultReporter() : m_pHandler(AddVectoredExceptionHandler(1, ReportFault)) {}
  ~CFaultReporter() {
    g_current = CurrentCase();
    if (m_pHandler) RemoveVectoredExceptionHandler(m_pHandler);
  }
  CFaultReporter(const CFaultReporter&) = delete;
  CFaultReporter& operator=(const CFaultReporter&) = delete;

private:
  void* m_pHandler;
};

// The runtime's own text: its count, then a buffer that holds exactly that much.
bool RuntimeText(const wchar_t* pszFormat, va_list args, std::wstring& strText) {
  const int cch = _vscwprintf(pszFormat, args);
  if (cch < 0) return false;
  std::vector<wchar_t> buffer(static_cast<size_t>(cch) + 1);
  if (_vsnwprintf(buffer.data(), buffer.size(), pszFormat, args) != cch) return false;
  strText.assign(buffer.data(), static_cast<size_t>(cch));
  return true;
}

// Both formatters against the runtime; the first difference, or "" when there is none.
std::string CompareWithRuntimeV(const wchar_t* pszFormat, va_list args) {
  g_current.pszFormat = pszFormat;
  g_current.pszStep = "the runtime";
  std::wstring strExpected;
  if (!RuntimeText(pszFormat, args, strExpected)) return "the runtime rejects the format";

  g_current.pszStep = "FormatString";
  CWideString str(L"before");
  const HRESULT hr = FormatStringV(str, pszFormat, args);
  const std::wstring strActual(str.GetText() ? str.GetText() : L"", static_cast<size_t>(str.Length()));
  if (hr != S_OK || strActual != strExpected) {
    return "FormatString gives \"" + Escape(strActual) + "\" (hr " + std::to_string(hr) + "), the runtime \"" +
           Escape(strExpected) + "\"";
  }

  g_current.pszStep = "CString::Format";
  CString text;
  const bool bFormatted = text.FormatV(pszFormat, args);
  g_current.pszStep = nullptr;
  if (!bFormatted || text.Str() != strExpected) {
    return "CString::Format gives \"" + Escape(text.Str()) + "\", the runtime \"" + Escape(strExpected) + "\"";
  }
  return std::string();
}

std::string CompareWithRuntime(const wchar_t* pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  std::string strDifference = CompareWithRuntimeV(pszFormat, args);
  va_end(args);
  return strDifference;
}

TEST(FormatGuard, StringArgumentsAreReadOnlyAsFarAsTheRuntimeReadsThem) {
  CFaultReporter reporter;
  CGuardedPage wideBare, narrowBare, wideEnded, narrowEnded;
  ASSERT_TRUE(wideBare.IsValid() && narrowBare.IsValid() && wideEnded.IsValid() && narrowEnded.IsValid());

  // Without a NUL, the precision alone bounds what may be read.
  const wchar_t* pWide = wideBare.PlaceAtEnd(L"abc", 3);
  for (const wchar_t* pszFormat : {L"[%.0s]", L"[%.s]", L"[%.3s]", L"[%-6.2s]", L"[%.3ls]", L"[%5.1ws]"}) {
    EXPECT_EQ("", CompareWithRuntime(pszFormat, pWide)) << Escape(pszFormat);
  }
  EXPECT_EQ("", CompareWithRuntime(L"[%.*s]", 0, pWide));
  EXPECT_EQ("", CompareWithRuntime(L"[%.*s|%d]", 3, pWide, 9));
  const char* pNarrow = narrowBare.PlaceAtEnd("abc", 3);
  for (const wchar_t* pszFormat : {L"[%.0hs]", L"[%.hs]", L"[%.3S]", L"[%4.2hs]", L"[%.0S]", L"[%-5.3hS]"}) {
    EXPECT_EQ("", CompareWithRuntime(pszFormat, pNarrow)) << Escape(pszFormat);
  }
  EXPECT_EQ("", CompareWithRuntime(L"[%.*S]", 2, pNarrow));

  // With a NUL as the last readable unit, any precision or none.
  const wchar_t* pWideEnded = wideEnded.PlaceAtEnd(L"abc", 4);
  for (const wchar_t* pszFormat : {L"[%s]", L"[%10s]", L"[%.9s]", L"[%-5ls]", L"[%ws|%hs]"}) {
    EXPECT_EQ("", CompareWithRuntime(pszFormat, pWideEnded, "n")) << Escape(pszFormat);
  }
  const char* pNarrowEnded = narrowEnded.PlaceAtEnd("abc", 4);
  for (const wchar_t* pszFormat : {L"[%S]", L"[%hs]", L"[%-8S]", L"[%.9hS]", L"[%hs|%s]"}) {
    EXPECT_EQ("", CompareWithRuntime(pszFormat, pNarrowEnded, L"w")) << Escape(pszFormat);
  }
}

// One random format with exactly the argument slots that the runtime reads for it.
struct FuzzCase {
  std::wstring strFormat;
  std::vector<uint64_t> aSlots;
  bool bWrites = false;  // holds a %n conversion
};

// Formats from a grammar of literal text, %%, conversions of every letter with
// flags, widths, precisions and size modifiers, malformed conversions and (rarely)
// %n. The arguments follow the runtime's own reading of each conversion, so that
// the runtime reads every slot and no more.
//
// Wine 8's runtime corrupts its heap when an integer conversion's width or
// precision reaches 23 (it allocates bytes for wide characters), so integer widths
// and precisions stay at 20 or less; other conversions take larger ones.
class CFormatGenerator {
public:
  CFormatGenerator(uint64_t nSeed, int* pnWriteTarget) : m_rng(nSeed), m_pnWriteTarget(pnWriteTarget) {}

  FuzzCase Next() {
    FuzzCase c;
    const int nItems = 1 + Uniform(7);
    const int nWriteAt = Uniform(100) < 2 ? Uniform(nItems) : -1;
    for (int i = 0; i < nItems; ++i) {
      if (i == nWriteAt) AppendWrite(c);
      const int nKind = Uniform(100);
      if (nKind < 30) {
        AppendLiteral(c);
      } else if (nKind < 35) {
        c.strFormat += L"%%";
      } else if (nKind < 85) {
        AppendConversion(c);
      } else {
        AppendMalformed(c, i + 1 == nItems);
      }
    }
    return c;
  }

private:
  int Uniform(int n) { return static_cast<int>(m_rng() % static_cast<uint64_t>(n)); }
  template <typename T, size_t N>
  const T& Pick(const T (&a)[N]) {
    return a[Uniform(static_cast<int>(N))];
  }

  void AppendLiteral(FuzzCase& c) {
    static const wchar_t kChars[] = L"abcXYZ -_:.\t\u00E9\u263A";
    for (int n = 1 + Uniform(8); n > 0; --n) c.strFormat += kChars[Uniform(static_cast<int>(wcslen(kChars)))];
  }

  // Flags, width and precision; '*' takes an int slot. nLimit bounds the numbers.
  void AppendSpec(FuzzCase& c, int nLimit, bool bRequireSome) {
    static const wchar_t kFlags[] = L"-+ 0#";
    const size_t cchBefore = c.strFormat.size();
    for (int n = Uniform(3); n > 0; --n) c.strFormat += kFlags[Uniform(5)];
    switch (Uniform(3)) {
      case 1: c.strFormat += std::to_wstring(1 + Uniform(nLimit)); break;
      case 2: c.strFormat += L'*'; c.aSlots.push_back(Int(Uniform(2 * nLimit + 1) - nLimit)); break;
      default: break;
    }
    switch (Uniform(4)) {
      case 1: c.strFormat += L'.'; break;
      case 2: c.strFormat += L'.' + std::to_wstring(Uniform(nLimit + 1)); break;
      case 3: c.strFormat += L".*"; c.aSlots.push_back(Int(Uniform(2 * nLimit + 1) - nLimit)); break;
      default: break;
    }
    if (bRequireSome && c.strFormat.size() == cchBefore) c.strFormat += L'-';
  }

  void AppendConversion(FuzzCase& c) {
    static const wchar_t* const kModifiers[] = {L"", L"", L"", L"h", L"l", L"ll", L"I32", L"I64", L"L", L"w", L"z", L"I"};
    static const wchar_t kTypes[] = L"cCsSdiouxXeEfgGaAp";
    const std::wstring strModifier = Pick(kModifiers);
    const wchar_t chType = kTypes[Uniform(static_cast<int>(wcslen(kTypes)))];
    const bool bInteger = wcschr(L"diouxX", chType) != nullptr;
    const bool bFloat = wcschr(L"eEfgGaA", chType) != nullptr;
    c.strFormat += L'%';
    AppendSpec(c, bInteger ? 20 : bFloat ? 40 : 300, false);
    c.strFormat += strModifier;
    c.strFormat += chType;
    // z and I size only integers; before anything else the runtime prints them as text.
    if ((strModifier == L"z" || strModifier == L"I") && !bInteger) return;
    const bool bNarrow = strModifier == L"h" || ((chType == L'C' || chType == L'S') && strModifier != L"l" &&
                                                 strModifier != L"w");
    if (chType == L'c' || chType == L'C') {
      static const int kWideChars[] = {L'w', 0x263A, 0, 0xE9, L' '};
      static const int kNarrowChars[] = {'n', 0xE9, 0, ' '};
      c.aSlots.push_back(Int(bNarrow ? Pick(kNarrowChars) : Pick(kWideChars)));
    } else if (chType == L's' || chType == L'S') {
      c.aSlots.push_back(Pointer(bNarrow ? Pick(kNarrowTexts) : static_cast<const void*>(Pick(kWideTexts))));
    } else if (bInteger) {
      const bool b64 = strModifier == L"ll" || strModifier == L"I64" || strModifier == L"I" || strModifier == L"z";
      c.aSlots.push_back(b64 ? Int64() : Int(static_cast<int>(Int64())));
    } else if (bFloat) {
      c.aSlots.push_back(Double());
    } else {
      c.aSlots.push_back(m_rng());  // %p prints the pointer's value only
    }
  }

  // Conversions that the runtime reads as literal text after their '*' arguments.
  void AppendMalformed(FuzzCase& c, bool bLast) {
    static const wchar_t kUnknown[] = L"ykbrvmYKRMVW!,;^";
    static const wchar_t* const kMisplacedSizes[] = {L"Is", L"zs", L"If", L"zc", L"IS"};
    c.strFormat += L'%';
    switch (bLast ? 4 : Uniform(4)) {
      case 0:
        AppendSpec(c, 20, false);
        c.strFormat += kUnknown[Uniform(static_cast<int>(wcslen(kUnknown)))];
        break;
      case 1: {
        AppendSpec(c, 20, false);
        c.strFormat += Pick(kMisplacedSizes);
        break;
      }
      case 2:
        // A space after the width is no flag: the runtime prints it and what follows.
        c.strFormat += std::to_wstring(1 + Uniform(20)) + L" s";
        break;
      case 3:
        // A '%' ends the conversion and starts the next one.
        AppendSpec(c, 20, true);
        AppendConversion(c);
        break;
      default:
        AppendSpec(c, 20, false);  // the format ends inside the conversion
        break;
    }
  }

  void AppendWrite(FuzzCase& c) {
    static const wchar_t* const kWrites[] = {L"%n", L"%-5ln", L"%hn", L"%I64n", L"% *.*n", L"%lln"};
    c.strFormat += Pick(kWrites);
    c.aSlots.push_back(Pointer(m_pnWriteTarget));
    c.bWrites = true;
  }

  static uint64_t Int(int n) { return static_cast<uint64_t>(static_cast<int64_t>(n)); }
  static uint64_t Pointer(const void* p) { return reinterpret_cast<uintptr_t>(p); }

  uint64_t Int64() {
    static const uint64_t kSpecial[] = {0, 1, 7, static_cast<uint64_t>(-1), 0x7FFFFFFF, 0x80000000,
                                        0x7FFFFFFFFFFFFFFF, 0x8000000000000000};
    switch (Uniform(3)) {
      case 0: return Pick(kSpecial);
      case 1: return m_rng() >> Uniform(64);
      default: return m_rng();
    }
  }

  uint64_t Double() {
    static const double kSpecial[] = {0.0, -0.0, 1.5, -2.25, 0.1, 1e-300, 1e300, 123456.789, 9.9999999,
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(), 4.9e-324};
    double d = Pick(kSpecial);
    if (Uniform(2)) {
      const uint64_t nBits = m_rng();
      memcpy(&d, &nBits, sizeof d);
    }
    uint64_t nSlot;
    memcpy(&nSlot, &d, sizeof nSlot);
    return nSlot;
  }

  // Every text ends in enough NULs to be read as narrow or as wide without running past it.
  static constexpr const wchar_t* kWideTexts[] = {L"", L"w", L"wide text", L"\u263A \u00E9t\u00E9",
                                                  L"a longer wide text, long enough to be cut by a precision",
                                                  nullptr};
  static constexpr const char* kNarrowTexts[] = {"\0\0\0", "n\0\0\0", "narrow text\0\0\0", "caf\xE9\0\0\0",
                                                 "a longer narrow text for the precisions\0\0\0", nullptr};

  std::mt19937_64 m_rng;
  int* m_pnWriteTarget;
};

unsigned long long EnvironmentNumber(const wchar_t* pszName, unsigned long long nDefault) {
  wchar_t sz[32];
  const DWORD cch = GetEnvironmentVariableW(pszName, sz, 32);
  return cch > 0 && cch < 32 ? _wcstoui64(sz, nullptr, 10) : nDefault;
}

bool AllHeapsValid() {
  std::vector<HANDLE> aHeaps(GetProcessHeaps(0, nullptr) + 16);
  const DWORD nHeaps = GetProcessHeaps(static_cast<DWORD>(aHeaps.size()), aHeaps.data());
  if (nHeaps == 0 || nHeaps > aHeaps.size()) return false;
  for (DWORD i = 0; i < nHeaps; ++i) {
    if (!HeapValidate(aHeaps[i], 0, nullptr)) return false;
  }
  return true;
}

TEST(FormatFuzz, RandomFormatsGiveTheRuntimesTextOrAreRefused) {
  const unsigned long long nSeed = EnvironmentNumber(L"DELVORA_FUZZ_SEED", 20240612);
  const unsigned long long nCases = EnvironmentNumber(L"DELVORA_FUZZ_CASES", 100000);
  printf("seed %llu, %llu cases\n", nSeed, nCases);
  CFaultReporter reporter;
  CGuardedPage page;
  ASSERT_TRUE(page.IsValid());
  ASSERT_TRUE(AllHeapsValid());

  int nWriteTarget = 12345;
  CFormatGenerator generator(nSeed, &nWriteTarget);
  int nFailures = 0;
  unsigned long long nRefused = 0;
  for (unsigned long long nCase = 0; nCase < nCases && nFailures < 10; ++nCase) {
    const FuzzCase c = generator.Next();
    uint64_t* pSlots = reinterpret_cast<uint64_t*>(page.End()) - c.aSlots.size();
    if (!c.aSlots.empty()) memcpy(pSlots, c.aSlots.data(), c.aSlots.size() * sizeof(uint64_t));
    va_list args = reinterpret_cast<va_list>(pSlots);
    g_current.nCase = nCase;

    std::string strDifference;
    if (c.bWrites) {
      ++nRefused;
      g_current.pszFormat = c.strFormat.c_str();
      g_current.pszStep = "FormatString";
      CWideString str(L"kept");
      const HRESULT hr = FormatStringV(str, c.strFormat.c_str(), args);
      g_current.pszStep = "CString::Format";
      CString text(L"old");
      const bool bFormatted = text.FormatV(c.strFormat.c_str(), args);
      g_current.pszStep = nullptr;
      if (hr != E_INVALIDARG || wcscmp(str.GetText(), L"kept") != 0 || bFormatted || !text.IsEmpty() ||
          nWriteTarget != 12345) {
        strDifference = "a %n conversion was not refused";
      }
    } else {
      strDifference = CompareWithRuntimeV(c.strFormat.c_str(), args);
    }
    if ((nCase % 1024 == 1023 || nCase + 1 == nCases) && !AllHeapsValid()) {
      strDifference += " and a heap is corrupt (checked every 1024 cases)";
    }
    if (!strDifference.empty()) {
      ++nFailures;
      ADD_FAILURE() << "case " << nCase << " of seed " << nSeed << ", format \"" << Escape(c.strFormat)
                    << "\": " << strDifference;
    }
  }
  EXPECT_GT(nRefused, 0u);
}

}  // namespace
