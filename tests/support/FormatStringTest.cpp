#include "support/FormatGuard.h"
#include "support/WideString.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

namespace {

// What the runtime itself prints, formatted into a buffer far larger than needed.
std::wstring Reference(const wchar_t* pszFormat, ...) {
  std::vector<wchar_t> buffer(8192, L'\0');
  va_list args;
  va_start(args, pszFormat);
  int n = _vsnwprintf(buffer.data(), buffer.size() - 1, pszFormat, args);
  va_end(args);
  return n < 0 ? std::wstring(L"<reference failed>") : std::wstring(buffer.data(), n);
}

TEST(FormatString, KnownFormatsProduceTheirTextsAndEstimates) {
  CWideString str;
  EXPECT_EQ(S_OK, FormatString(str, L"Device%03d", 7));
  EXPECT_STREQ(L"Device007", str.GetText());
  EXPECT_EQ(S_OK, FormatString(str, L"Device%03d", 1000));
  EXPECT_STREQ(L"Device1000", str.GetText());
  EXPECT_EQ(38u, EstimateFormatLength(L"Device%03d", 7));

  const wchar_t kOpenService[] = L"OpenService of %s failed 0x%8.8x";
  EXPECT_EQ(S_OK, FormatString(str, kOpenService, L"RemoteRegistry", 5));
  EXPECT_STREQ(L"OpenService of RemoteRegistry failed 0x00000005", str.GetText());
  EXPECT_EQ(47, str.Length());
  EXPECT_EQ(71u, EstimateFormatLength(kOpenService, L"RemoteRegistry", 5));

  EXPECT_EQ(S_OK, FormatString(str, L"%10.3s", L"abcdef"));
  EXPECT_STREQ(L"       abc", str.GetText());
  EXPECT_EQ(10u, EstimateFormatLength(L"%10.3s", L"abcdef"));

  EXPECT_EQ(S_OK, FormatString(str, L"%s", static_cast<const wchar_t*>(nullptr)));
  EXPECT_STREQ(L"(null)", str.GetText());
  EXPECT_EQ(6u, EstimateFormatLength(L"%s", static_cast<const wchar_t*>(nullptr)));

  EXPECT_EQ(S_OK, FormatString(str, L"%%"));
  EXPECT_STREQ(L"%", str.GetText());
  EXPECT_EQ(1u, EstimateFormatLength(L"%%"));
}

TEST(FormatString, UsesTheRuntimesWideConventions) {
  CWideString str;
  EXPECT_EQ(S_OK, FormatString(str, L"%s|%S|%c|%C|%ld|%#x", L"wide", "narrow", L'w', 'n', -5L, 255));
  EXPECT_STREQ(L"wide|narrow|w|n|-5|0xff", str.GetText());
  // '#' adds 2 and the rest as listed: 4 + 6 + 2 + 2 + 32 + (2 + 32) + 5 separators.
  EXPECT_EQ(85u, EstimateFormatLength(L"%s|%S|%c|%C|%ld|%#x", L"wide", "narrow", L'w', 'n', -5L, 255));
  EXPECT_EQ(4u, EstimateFormatLength(L"%*s", 4, L"ab"));
  EXPECT_EQ(2u, EstimateFormatLength(L"%.*s", 2, L"abcdef"));
  EXPECT_EQ(128u + 1, EstimateFormatLength(L"%f!", 1.5));
  EXPECT_EQ(1u, EstimateFormatLength(L"%s", L""));

  // An empty format gives an empty text that is not null; so does a null one.
  str = L"old";
  EXPECT_EQ(S_OK, FormatString(str, L""));
  ASSERT_FALSE(str.IsNull());
  EXPECT_EQ(0, str.Length());
  EXPECT_EQ(S_OK, FormatString(str, nullptr));
  EXPECT_FALSE(str.IsNull());

  // Output that exactly fills the estimate gets no NUL from the runtime.
  EXPECT_EQ(3u, EstimateFormatLength(L"%s", L"abc"));
  str = L"previous text that is longer";
  EXPECT_EQ(S_OK, FormatString(str, L"%s", L"abc"));
  EXPECT_STREQ(L"abc", str.GetText());
}

TEST(FormatString, OutputBeyondTheEstimateIsFormattedWhole) {
  CWideString str;
  // Fixed notation of 1e300 is 301 digits: far beyond the 128 estimated.
  EXPECT_EQ(S_OK, FormatString(str, L"%f", 1e300));
  EXPECT_EQ(Reference(L"%f", 1e300), std::wstring(str.GetText()));
  EXPECT_EQ(308, str.Length());

  // A negative width taken from '*' left-justifies in its magnitude.
  EXPECT_EQ(S_OK, FormatString(str, L"%*d|", -40, 7));
  EXPECT_EQ(L"7" + std::wstring(39, L' ') + L"|", std::wstring(str.GetText()));
  EXPECT_EQ(S_OK, FormatString(str, L"[%.*s]", -1, L"negative precision reads everything"));
  EXPECT_STREQ(L"[negative precision reads everything]", str.GetText());

  // Conversions outside the estimate's list must not derail its argument walk.
  EXPECT_EQ(S_OK, FormatString(str, L"%hd %s", 5, L"after short"));
  EXPECT_STREQ(L"5 after short", str.GetText());
  EXPECT_EQ(S_OK, FormatString(str, L"%I64d %s %E", 1099511627776LL, L"after I64", 2.5));
  EXPECT_EQ(Reference(L"%I64d %s %E", 1099511627776LL, L"after I64", 2.5), std::wstring(str.GetText()));
  EXPECT_EQ(S_OK, FormatString(str, L"%y%s", L"tail"));
  EXPECT_EQ(Reference(L"%y%s", L"tail"), std::wstring(str.GetText()));
  EXPECT_EQ(S_OK, FormatString(str, L"%hs|%ls|%lS", "n", L"w", L"w2"));
  EXPECT_STREQ(L"n|w|w2", str.GetText());

  // A long text with a precision shorter than it: the estimate reads no further.
  std::wstring strLong(5000, L'z');
  EXPECT_EQ(S_OK, FormatString(str, L"%s", strLong.c_str()));
  EXPECT_EQ(5000, str.Length());
}

// The text with its embedded NULs; a null string is "".
std::wstring Text(const CWideString& str) {
  return str.IsNull() ? std::wstring() : std::wstring(str.GetText(), static_cast<size_t>(str.Length()));
}

TEST(FormatString, MalformedConversionsTakeOnlyTheArgumentsTheRuntimeTakes) {
  // The runtime prints each of these conversions as literal text and reads the
  // integer that follows as an integer, never as a string pointer.
  CWideString str;
  EXPECT_EQ(S_OK, FormatString(str, L"%Is|%d", 7));
  EXPECT_EQ(Reference(L"%Is|%d", 7), Text(str));
  EXPECT_EQ(S_OK, FormatString(str, L"%zs|%d", 7));
  EXPECT_EQ(Reference(L"%zs|%d", 7), Text(str));
  EXPECT_EQ(S_OK, FormatString(str, L"% %d|%s", 5, L"ok"));
  EXPECT_EQ(Reference(L"% %d|%s", 5, L"ok"), Text(str));
  EXPECT_EQ(S_OK, FormatString(str, L"%* s|%d", 3, 7));
  EXPECT_EQ(Reference(L"%* s|%d", 3, 7), Text(str));
}

TEST(FormatString, ResultsHaveTheRuntimesFullLength) {
  CWideString str;
  // Wine's runtime reports a text cut inside a %c or %C with a width as complete.
  EXPECT_EQ(S_OK, FormatString(str, L"%300c", L'x'));
  EXPECT_EQ(std::wstring(299, L' ') + L"x", Text(str));
  EXPECT_EQ(S_OK, FormatString(str, L"ab%3hC", 'q'));
  EXPECT_EQ(L"ab  q", Text(str));
  // A NUL from %c is part of the text, as in CString::Format.
  EXPECT_EQ(S_OK, FormatString(str, L"%c|%s", L'\0', L"after"));
  EXPECT_EQ(std::wstring(L"\0|after", 7), Text(str));
}

TEST(FormatString, WriteConversionsAreRefusedAndTheTargetKept) {
  int nWritten = 12345;
  CWideString str(L"keep");
  EXPECT_EQ(E_INVALIDARG, FormatString(str, L"abc%n", &nWritten));
  EXPECT_STREQ(L"keep", str.GetText());
  EXPECT_EQ(12345, nWritten);
  EXPECT_EQ(E_INVALIDARG, FormatString(str, L"%d%-5ln", 1, &nWritten));
  EXPECT_EQ(E_INVALIDARG, FormatString(str, L"%s%I64n", L"x", &nWritten));
  EXPECT_STREQ(L"keep", str.GetText());
  EXPECT_EQ(12345, nWritten);

  // %%n is a percent sign and a letter.
  EXPECT_EQ(S_OK, FormatString(str, L"100%%n"));
  EXPECT_STREQ(L"100%n", str.GetText());

  EXPECT_TRUE(FormatHasWriteConversion(L"%n"));
  EXPECT_TRUE(FormatHasWriteConversion(L"%hn"));
  EXPECT_TRUE(FormatHasWriteConversion(L"%hhn"));
  EXPECT_TRUE(FormatHasWriteConversion(L"% +#0*.*lln"));
  EXPECT_TRUE(FormatHasWriteConversion(L"%1$n"));
  EXPECT_TRUE(FormatHasWriteConversion(L"%%%n"));
  EXPECT_TRUE(FormatHasWriteConversion(L"%5%n"));
  EXPECT_TRUE(FormatHasWriteConversion("text %zn"));
  EXPECT_FALSE(FormatHasWriteConversion(L"%%n"));
  EXPECT_FALSE(FormatHasWriteConversion(L"%dn %sn n"));
  EXPECT_FALSE(FormatHasWriteConversion(L"trailing %"));
  EXPECT_FALSE(FormatHasWriteConversion(static_cast<const wchar_t*>(nullptr)));
  EXPECT_FALSE(FormatHasWriteConversion("%%n %s"));
}

}  // namespace
