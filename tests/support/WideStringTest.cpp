#include "support/WideString.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The whole text, embedded NULs included, for comparisons.
std::wstring Whole(const CWideString& str) {
  return str.IsNull() ? std::wstring() : std::wstring(str.GetText(), str.Length());
}

TEST(WideString, NullAndEmptyAreDistinctUntilAnOperationNormalises) {
  CWideString strNull;
  EXPECT_TRUE(strNull.IsNull());
  EXPECT_EQ(0, strNull.Length());
  EXPECT_EQ(-1, strNull.Find(L'a'));
  EXPECT_EQ(-1, strNull.ReverseFind(L'a'));
  strNull.Append(CWideString());
  EXPECT_TRUE(strNull.IsNull());

  CWideString strEmpty(L"");
  EXPECT_FALSE(strEmpty.IsNull());
  EXPECT_EQ(0, strEmpty.Length());
  strEmpty.Append(CWideString(L""));
  EXPECT_TRUE(strEmpty.IsNull()) << "an empty append result is null";

  CWideString strNarrow("");
  EXPECT_TRUE(strNarrow.IsNull());
  CWideString strText(L"keep");
  strText = "";
  EXPECT_TRUE(strText.IsNull()) << "narrow assignment of an empty text gives null";
  strText = static_cast<const char*>(nullptr);
  EXPECT_TRUE(strText.IsNull());
  EXPECT_TRUE(CWideString(static_cast<const wchar_t*>(nullptr)).IsNull());

  strText.MakeNonNull();
  ASSERT_FALSE(strText.IsNull());
  EXPECT_STREQ(L"", strText.GetText());
  strText = L"x";
  strText = nullptr;
  EXPECT_TRUE(strText.IsNull());
}

TEST(WideString, AppendKeepsEmbeddedNulsConcatenationStopsAtTheFirst) {
  CWideString strA(L"a");
  strA.Append(CWideString(L"b"));
  EXPECT_STREQ(L"ab", strA.GetText());
  EXPECT_EQ(2, strA.Length());
  strA += strA;
  EXPECT_EQ(std::wstring(L"abab"), Whole(strA));

  CWideString strNul(L"a\0b", 3);
  strNul.Append(CWideString(L"c\0d", 3));
  EXPECT_EQ(std::wstring(L"a\0bc\0d", 6), Whole(strNul));

  // A concatenation is copied into its result up to the first NUL.
  EXPECT_EQ(std::wstring(L"a"), Whole(CWideString(L"a\0b", 3) + L"c"));
  EXPECT_EQ(std::wstring(L"xy"), Whole(L"x" + CWideString(L"y\0z", 3)));
  EXPECT_TRUE((CWideString(L"\0z", 2) + CWideString(L"q")).IsNull());

  CWideString strLeft(L"abc");
  EXPECT_STREQ(L"abcdef", (strLeft + L"def").GetText());
  EXPECT_STREQ(L"defabc", (L"def" + strLeft).GetText());
  EXPECT_STREQ(L"abcabc", (strLeft + strLeft).GetText());
  EXPECT_STREQ(L"abc", (strLeft + static_cast<const wchar_t*>(nullptr)).GetText());
  EXPECT_TRUE((CWideString() + static_cast<const wchar_t*>(nullptr)).IsNull());
  EXPECT_TRUE((CWideString(L"") + CWideString(L"")).IsNull());
}

TEST(WideString, CopiesNeverShareAndMovesEmptyTheSource) {
  CWideString strOriginal(L"a\0b", 3);
  CWideString strCopy(strOriginal);
  EXPECT_NE(strOriginal.GetText(), strCopy.GetText());
  EXPECT_EQ(Whole(strOriginal), Whole(strCopy));
  strCopy.Append(CWideString(L"!"));
  EXPECT_EQ(3, strOriginal.Length());

  CWideString strAssigned;
  strAssigned = strOriginal;
  EXPECT_NE(strOriginal.GetText(), strAssigned.GetText());
  EXPECT_EQ(3, strAssigned.Length());

  const wchar_t* pOld = strOriginal.GetText();
  CWideString strMoved(std::move(strOriginal));
  EXPECT_EQ(pOld, strMoved.GetText());
  EXPECT_TRUE(strOriginal.IsNull());

  // Assigning a pointer into our own text copies before freeing.
  CWideString strSelf(L"hello");
  strSelf = strSelf.GetText() + 2;
  EXPECT_STREQ(L"llo", strSelf.GetText());
}

TEST(WideString, ConstructionFromVariantsIntegersAndBstrOwnership) {
  VARIANT var;
  VariantInit(&var);
  EXPECT_TRUE(CWideString(var).IsNull());
  var.vt = VT_NULL;
  EXPECT_TRUE(CWideString(var).IsNull());
  var.vt = VT_BSTR;
  var.bstrVal = nullptr;
  EXPECT_TRUE(CWideString(var).IsNull());
  var.bstrVal = SysAllocStringLen(L"x\0y", 3);
  EXPECT_EQ(std::wstring(L"x\0y", 3), Whole(CWideString(var)));
  VariantClear(&var);
  var.vt = VT_I4;
  var.lVal = -42;
  EXPECT_STREQ(L"-42", CWideString(var).GetText());
  var.vt = VT_DISPATCH;
  var.pdispVal = nullptr;
  EXPECT_TRUE(CWideString(var).IsNull()) << "a failed conversion gives null";

  CWideString strNumber;
  EXPECT_STREQ(L"-2147483648", strNumber.AssignInteger(-2147483647L - 1).GetText());
  EXPECT_STREQ(L"0", strNumber.AssignInteger(0).GetText());

  CWideString strOut(L"old");
  BSTR* pOut = strOut.Receive();
  EXPECT_EQ(nullptr, *pOut);
  *pOut = SysAllocString(L"filled");
  EXPECT_STREQ(L"filled", strOut.GetText());
  BSTR bstr = strOut.Detach();
  EXPECT_TRUE(strOut.IsNull());
  strOut.Attach(bstr);
  EXPECT_STREQ(L"filled", strOut.GetText());
}

TEST(WideString, SearchesUseTheWholeCountedText) {
  CWideString str(L"abcab\0x", 7);
  EXPECT_EQ(1, str.Find(L'b'));
  EXPECT_EQ(4, str.ReverseFind(L'b'));
  EXPECT_EQ(6, str.Find(L'x')) << "characters after an embedded NUL are found";
  EXPECT_EQ(5, str.Find(L'\0'));
  EXPECT_EQ(-1, str.Find(L'z'));
  EXPECT_EQ(2, str.FindOneOf(L"zc"));
  EXPECT_EQ(-1, str.FindOneOf(L"z"));
  EXPECT_EQ(-1, str.FindOneOf(nullptr));
  EXPECT_EQ(0, str.FindString(L"ab"));
  EXPECT_EQ(1, str.FindString(L"bca"));
  EXPECT_EQ(-1, str.FindString(L"abd"));
  EXPECT_EQ(-1, str.FindString(nullptr));
  EXPECT_EQ(-1, CWideString(L"ab").FindString(L"abc"));
  EXPECT_EQ(-1, CWideString().FindOneOf(L"a"));
}

TEST(WideString, SubstringsClampTheirArguments) {
  CWideString str(L"abcdef");
  EXPECT_STREQ(L"cd", str.Mid(2, 2).GetText());
  EXPECT_STREQ(L"ab", str.Mid(-3, 2).GetText());
  EXPECT_STREQ(L"ef", str.Mid(4, 100).GetText());
  EXPECT_STREQ(L"def", str.Mid(3).GetText());
  EXPECT_TRUE(str.Mid(6, 1).IsNull());
  EXPECT_TRUE(str.Mid(50, 1).IsNull());
  EXPECT_TRUE(str.Mid(1, -5).IsNull());
  EXPECT_TRUE(str.Left(-1).IsNull());
  EXPECT_STREQ(L"abc", str.Left(3).GetText());
  EXPECT_STREQ(L"abcdef", str.Left(99).GetText());
  EXPECT_STREQ(L"abcdef", str.Right(99).GetText());
  EXPECT_STREQ(L"ef", str.Right(2).GetText());
  EXPECT_TRUE(str.Right(-2).IsNull());
  EXPECT_TRUE(CWideString().Mid(0, 3).IsNull());
  EXPECT_EQ(std::wstring(L"\0c", 2), Whole(CWideString(L"a\0cd", 4).Mid(1, 2)));

  EXPECT_STREQ(L"abc", CWideString(L"abcxa").SpanIncluding(L"cba").GetText());
  EXPECT_TRUE(CWideString(L"abc").SpanIncluding(L"x").IsNull());
  EXPECT_TRUE(CWideString(L"abc").SpanIncluding(nullptr).IsNull());
  EXPECT_STREQ(L"ab", CWideString(L"ab;cd").SpanExcluding(L";,").GetText());
  EXPECT_STREQ(L"abc", CWideString(L"abc").SpanExcluding(nullptr).GetText());

  CWideString strTrim(L" \t a b \r\n");
  strTrim.TrimRight();
  EXPECT_STREQ(L" \t a b", strTrim.GetText());
  strTrim.TrimLeft();
  EXPECT_STREQ(L"a b", strTrim.GetText());
  CWideString strBlank(L" \t ");
  strBlank.TrimLeft();
  EXPECT_TRUE(strBlank.IsNull());
  CWideString strNull;
  strNull.TrimRight();
  EXPECT_TRUE(strNull.IsNull());
}

TEST(WideString, ExpandEnvironmentReplacesReferencesOnce) {
  ASSERT_EQ(0, _wputenv(L"DLV_A=alpha"));
  ASSERT_EQ(0, _wputenv(L"DLV_B=beta"));
  ASSERT_EQ(0, _wputenv(L"DLV_PCT=x%DLV_B%y"));
  _wputenv(L"DLV_UNDEFINED=");
  struct Case {
    const wchar_t* pszIn;
    const wchar_t* pszOut;  // null: the result is null
  } const cases[] = {
      {L"%DLV_UNDEFINED%\\x", L"\\x"},
      {L"%%", nullptr},
      {L"50%", L"50%"},
      {L"a%b", L"a%b"},
      {L"%DLV_A%%DLV_B%", L"alphabeta"},
      {L"<%DLV_PCT%>", L"<x%DLV_B%y>"},
      {L"%DLV_A%%", L"alpha%"},
      {L"pre%DLV_A%post%", L"prealphapost%"},
      {L"%%DLV_A%%", L"DLV_A"},
      {L"no refs", L"no refs"},
  };
  for (const Case& c : cases) {
    CWideString str(c.pszIn);
    str.ExpandEnvironment();
    if (c.pszOut) {
      EXPECT_STREQ(c.pszOut, str.GetText()) << "input " << testing::PrintToString(c.pszIn);
    } else {
      EXPECT_TRUE(str.IsNull()) << "input " << testing::PrintToString(c.pszIn);
    }
  }
  CWideString strNull;
  strNull.ExpandEnvironment();
  EXPECT_TRUE(strNull.IsNull());
}

TEST(WideString, NarrowFormsAndTransliteration) {
  CWideString strFromNarrow("narrow text");
  EXPECT_STREQ(L"narrow text", strFromNarrow.GetText());
  EXPECT_EQ(11, strFromNarrow.Length());
  EXPECT_STREQ("narrow text", strFromNarrow.GetNarrow());

  // The cached narrow copy is refreshed only on request.
  const char* pszCached = strFromNarrow.GetNarrow();
  strFromNarrow = L"changed";
  EXPECT_STREQ("narrow text", pszCached);
  EXPECT_STREQ("changed", strFromNarrow.GetNarrow());

  CWideString strNull;
  EXPECT_STREQ("", strNull.GetNarrow());
  EXPECT_FALSE(strNull.IsNull()) << "the narrow form makes the text non-null";

  std::unique_ptr<char[]> holder;
  CWideString(L"plain").GetPlainNarrow(holder);
  EXPECT_STREQ("plain", holder.get());
  CWideString().GetPlainNarrow(holder);
  EXPECT_STREQ("", holder.get());

  if (GetACP() != 1252) GTEST_SKIP() << "transliteration table checked for code page 1252, have " << GetACP();
  std::wstring strHigh;
  for (wchar_t ch = 0xC0; ch <= 0xFF; ++ch) strHigh += ch;
  CWideString strLatin(strHigh.c_str());
  EXPECT_STREQ("AAAAAAACEEEEIIIIDNOOOOOXOUUUUYdsaaaaaaaceeeeiiiidnooooooouuuuyDy", strLatin.GetAscii());
  // Bytes 0x80..0xBF (here the euro sign, copyright and one-half) are dropped.
  CWideString strMixed(L"Gr\x00FC\x00DF" L"e \x20AC\x00A9\x00BD!");
  EXPECT_STREQ("Gruse !", strMixed.GetAscii());
  CWideString strWide(L"\x00E9t\x00E9");
  EXPECT_STREQ("\xE9t\xE9", strWide.GetNarrow());
  EXPECT_STREQ("ete", strWide.GetAscii());
}

TEST(WideString, PointerAndMemoryChecks) {
  EXPECT_EQ(0u, CWideString::ByteLength(nullptr));
  EXPECT_EQ(6u, CWideString::ByteLength(L"abc"));
  EXPECT_FALSE(CWideString::IsReadableString(nullptr, 10));
  EXPECT_TRUE(CWideString::IsReadableString(L"abc", 10));

  char buffer[16] = {};
  EXPECT_FALSE(CWideString::IsUsableMemory(nullptr, 4, false));
  EXPECT_TRUE(CWideString::IsUsableMemory(buffer, sizeof(buffer), true));
  void* pReadOnly = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READONLY);
  ASSERT_NE(nullptr, pReadOnly);
  EXPECT_TRUE(CWideString::IsUsableMemory(pReadOnly, 4096, false));
  EXPECT_FALSE(CWideString::IsUsableMemory(pReadOnly, 4096, true));
  VirtualFree(pReadOnly, 0, MEM_RELEASE);
  void* pNoAccess = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS);
  ASSERT_NE(nullptr, pNoAccess);
  EXPECT_FALSE(CWideString::IsUsableMemory(pNoAccess, 16, false));
  EXPECT_FALSE(CWideString::IsReadableString(static_cast<const wchar_t*>(pNoAccess), 16));
  VirtualFree(pNoAccess, 0, MEM_RELEASE);
}

}  // namespace
