// Value formatting and the comparators. Built twice: once with the English
// resource module as the current resource handle (DELVORA_TEST_WITH_MODULE) and
// once with none, because the resource texts are loaded once per process.

#include <gtest/gtest.h>

#include <windows.h>

#include <cwchar>
#include <string>

#include "framework/Resource.h"
#include "stats/Formatting.h"

namespace {

#ifdef DELVORA_TEST_WITH_MODULE
constexpr const wchar_t* kNoPackets = L"(none)";
constexpr const wchar_t* kPcm = L"PCM";
constexpr const wchar_t* kMuLaw = L"G.711\u00B5";
constexpr const wchar_t* kALaw = L"G.711A";
constexpr const wchar_t* kG729 = L"G.729";
constexpr const wchar_t* kOther2 = L"(0x2)";
constexpr const wchar_t* kOther55 = L"(0x55)";

// Makes the English resource module the source of resource loads before any test runs.
class ResourceModuleEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    wchar_t exe[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::wstring path(exe, length);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"enu\\DelvoraRes.dll";
    HMODULE hModule = LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, hModule) << "the English resource module must be built beside the test";
    AfxSetResourceHandle(hModule);
  }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new ResourceModuleEnvironment);
#else
constexpr const wchar_t* kNoPackets = L"[NO PACKETS]";
constexpr const wchar_t* kPcm = L"[PCM]";
constexpr const wchar_t* kMuLaw = L"[G.711mu]";
constexpr const wchar_t* kALaw = L"[G.711A]";
constexpr const wchar_t* kG729 = L"[G.729]";
constexpr const wchar_t* kOther2 = L"[Unknown]";
constexpr const wchar_t* kOther55 = L"[Unknown]";
#endif

// The raw system text, for comparison.
std::wstring RawSystemText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code,
                                      MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPWSTR>(&buffer),
                                      0, nullptr);
  std::wstring text = buffer && length ? std::wstring(buffer, length) : std::wstring();
  if (buffer) LocalFree(buffer);
  return text;
}

TEST(SystemErrorText, NoErrorGivesNothingAndACodeWithoutTextGivesTheCode) {
  EXPECT_STREQ(L"", GetSystemErrorText(0));
  EXPECT_STREQ(L"", GetSystemErrorText(static_cast<HRESULT>(0x80080000)));
  // No system has a message for these: the message shows the code instead.
  EXPECT_STREQ(L"0x12345678", GetSystemErrorText(static_cast<HRESULT>(0x12345678)));
  EXPECT_STREQ(L"0x8004ff42", GetSystemErrorText(static_cast<HRESULT>(0x8004FF42)));
}

TEST(SystemErrorText, TrailingLineEndBecomesTwoSpaces) {
  for (DWORD code : {5u, 2u, 0x80070005u, 0x80070002u}) {
    const std::wstring raw = RawSystemText(code);
    const CString text = GetSystemErrorText(static_cast<HRESULT>(code));
    if (raw.empty()) {
      // Only HRESULT forms may lack a system message; the plain numbers must have one.
      EXPECT_GE(code, 0x80000000u) << "no system text for " << code;
      wchar_t hex[16];
      _snwprintf(hex, 16, L"0x%08x", code);
      EXPECT_STREQ(hex, text);
      continue;
    }
    ASSERT_GE(raw.size(), 2u);
    ASSERT_EQ(L"\r\n", raw.substr(raw.size() - 2)) << "system texts end with CR LF";
    EXPECT_EQ(static_cast<int>(raw.size()), text.GetLength()) << code;
    EXPECT_EQ(raw.substr(0, raw.size() - 2) + L"  ", text.Str()) << code;
  }
}

TEST(AppendChar, AddsOnlyAMissingCharacter) {
  CString path;
  AppendCharIfMissing(path, L'\\');
  EXPECT_STREQ(L"\\", path);
  AppendCharIfMissing(path, L'\\');
  EXPECT_STREQ(L"\\", path);
  path = L"C:\\Prog";
  AppendCharIfMissing(path, L'\\');
  EXPECT_STREQ(L"C:\\Prog\\", path);

  CWideString wide;
  AppendCharIfMissing(wide, L'\\');
  EXPECT_STREQ(L"\\", wide.GetText());
  wide = L"C:\\Prog\\";
  AppendCharIfMissing(wide, L'\\');
  EXPECT_STREQ(L"C:\\Prog\\", wide.GetText());
  wide = L"C:\\Prog";
  AppendCharIfMissing(wide, L'\\');
  EXPECT_STREQ(L"C:\\Prog\\", wide.GetText());
}

TEST(Clamp, LimitsToUnsigned32Bits) {
  EXPECT_EQ(0u, ClampToULong(-1));
  EXPECT_EQ(0u, ClampToULong(-4294967296LL));
  EXPECT_EQ(59u, ClampToULong(59));
  EXPECT_EQ(4294967295u, ClampToULong(4294967295LL));
  EXPECT_EQ(4294967295u, ClampToULong(4294967296LL));
}

TEST(Average, TwoDecimalsUpToOneHundredThenSix) {
  EXPECT_STREQ(kNoPackets, FormatAverage(-1.0));
  EXPECT_STREQ(kNoPackets, FormatAverage(-0.001));
  EXPECT_STREQ(L"0.00", FormatAverage(0.0));
  EXPECT_STREQ(L"12.50", FormatAverage(12.5));
  EXPECT_STREQ(L"100.00", FormatAverage(100.0));
  EXPECT_STREQ(L"100.500000", FormatAverage(100.5));
  EXPECT_STREQ(L"250.000000", FormatAverage(250.0));
}

bool LooksLikeTimeOfDay(const CString& text) {
  return text.GetLength() == 8 && text[2] == L':' && text[5] == L':';
}

bool LooksLikeDateAndTime(const CString& text) {
  return text.GetLength() == 17 && text[2] == L'/' && text[5] == L'/' && text[8] == L' ' &&
         LooksLikeTimeOfDay(text.Mid(9));
}

TEST(TimeStamp, TodayShowsTimeOfDayOtherDaysDateAndTime) {
  const CTime now = CTime::GetCurrentTime();
  struct tm today;
  ASSERT_NE(nullptr, now.GetLocalTm(&today));
  if (today.tm_hour == 23 && today.tm_min == 59) GTEST_SKIP() << "too close to midnight";
  const int year = today.tm_year + 1900;
  const int month = today.tm_mon + 1;

  // Midnight belongs to today; the second before it to yesterday.
  const CTime midnight(year, month, today.tm_mday, 0, 0, 0);
  const CString atMidnight = FormatTimeStamp(midnight);
  EXPECT_STREQ(L"00:00:00", atMidnight);
  const CString before = FormatTimeStamp(midnight - CTimeSpan(1));
  EXPECT_TRUE(LooksLikeDateAndTime(before)) << before.GetString();
  EXPECT_EQ(L"23:59:59", before.Right(8).Str());

  const CString nowText = FormatTimeStamp(now);
  EXPECT_TRUE(LooksLikeTimeOfDay(nowText)) << nowText.GetString();
  EXPECT_EQ(now.Format(L"%H:%M:%S").Str(), nowText.Str());

  // The same clock time yesterday shows the date in the runtime's MM/DD/YY form.
  const CTime yesterday = now - CTimeSpan(1, 0, 0, 0);
  const CString yesterdayText = FormatTimeStamp(yesterday);
  EXPECT_TRUE(LooksLikeDateAndTime(yesterdayText)) << yesterdayText.GetString();
  EXPECT_EQ(yesterday.Format(L"%m/%d/%y %H:%M:%S").Str(), yesterdayText.Str());

  // A time with no local calendar form gives an empty text.
  EXPECT_STREQ(L"", FormatTimeStamp(CTime(-10)));
}

TEST(CodecName, KnownTagsAndOthers) {
  EXPECT_STREQ(kPcm, FormatCodecName(1));
  EXPECT_STREQ(kALaw, FormatCodecName(6));
  EXPECT_STREQ(kMuLaw, FormatCodecName(7));
  EXPECT_STREQ(kG729, FormatCodecName(0x0133));
  EXPECT_STREQ(kOther2, FormatCodecName(2));
  EXPECT_STREQ(kOther55, FormatCodecName(0x55));
}

TEST(Comparators, AscendingAndDescendingSigns) {
  EXPECT_EQ(-1, CompareULong(1, 2, true));
  EXPECT_EQ(1, CompareULong(1, 2, false));
  EXPECT_EQ(0, CompareULong(2, 2, false));
  EXPECT_EQ(-1, CompareLong(-1, 1, true));
  EXPECT_EQ(1, CompareULong(static_cast<unsigned long>(-1), 1, true)) << "same bits, unsigned";
  EXPECT_EQ(1, CompareLong(5, 4, true));
  EXPECT_EQ(-1, CompareLong(5, 4, false));

  EXPECT_EQ(-1, CompareDouble(-1.0, 0.0, true));
  EXPECT_EQ(0, CompareDouble(0.5, 0.5, true));
  EXPECT_EQ(1, CompareDouble(-1.0, 0.0, false));

  EXPECT_EQ(-1, CompareTime(CTime(100), CTime(2208988800LL), true)) << "after 2038";
  EXPECT_EQ(1, CompareTime(CTime(100), CTime(2208988800LL), false));
  EXPECT_EQ(-1, CompareTimeSpan(CTimeSpan(-1), CTimeSpan(0), true));
  EXPECT_EQ(0, CompareTimeSpan(CTimeSpan(7), CTimeSpan(7), false));

  EXPECT_EQ(-1, CompareText(L"10.0.0.10", L"10.0.0.9", true)) << "character order, not numeric";
  EXPECT_EQ(1, CompareText(L"10.0.0.10", L"10.0.0.9", false));
  EXPECT_EQ(0, CompareText(nullptr, L"a", true));
  EXPECT_EQ(0, CompareText(L"a", nullptr, false));
  EXPECT_EQ(0, CompareText(L"same", L"same", true));
}

}  // namespace
