// The counted string: storage classes, sharing and locking, buffers, resources,
// fields, the registry read, a failing pool and eight threads sharing texts.

#include "support/CountedString.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "support/BlockPool.h"
#include "support/RegistryKey.h"
#include "support/UniqueHandle.h"

namespace {

CBlockPool* const kPools[] = {&g_stringPool64, &g_stringPool128, &g_stringPool256, &g_stringPool512};

std::wstring Text(int nLength, wchar_t chFirst = L'a') {
  std::wstring str;
  for (int i = 0; i < nLength; ++i) str += static_cast<wchar_t>(chFirst + i % 26);
  return str;
}

LONG References(const CCountedString& str) { return str.GetHeader()->nReferences; }
LONG Capacity(const CCountedString& str) { return str.GetHeader()->nCapacity; }

TEST(CountedStringTest, LengthsMoveBetweenPoolsAndTheHeap) {
  CCountedString str(Text(64).c_str());
  EXPECT_EQ(64, Capacity(str));
  const size_t nFree64 = g_stringPool64.CountFreeBlocks();
  const size_t nFree128 = g_stringPool128.CountFreeBlocks();
  str += L'!';  // 65 characters: the 144-byte block goes back, a 272-byte one is taken
  EXPECT_EQ(128, Capacity(str));
  EXPECT_EQ(Text(64) + L"!", str.GetString());
  EXPECT_EQ(nFree64 + 1, g_stringPool64.CountFreeBlocks());
  EXPECT_EQ(nFree128 > 0 ? nFree128 - 1 : 63, g_stringPool128.CountFreeBlocks());

  CCountedString str512(Text(512).c_str());
  EXPECT_EQ(512, Capacity(str512));
  CCountedString str513 = str512 + L"x";
  EXPECT_EQ(513, Capacity(str513));  // the heap, sized to the text
  EXPECT_EQ(513, str513.GetLength());

  // Cut to 10 characters, the text still holds a 128-character block until compacted.
  str.ReleaseWriteBuffer(10);
  EXPECT_EQ(128, Capacity(str));
  str.Compact();
  EXPECT_EQ(64, Capacity(str));
  EXPECT_EQ(Text(10), str.GetString());
}

TEST(CountedStringTest, CopiesShareUntilChangedAndLockedTextsAreNeverShared) {
  CCountedString original(L"shared text");
  CCountedString copy(original);
  EXPECT_EQ(original.GetString(), copy.GetString());
  EXPECT_EQ(2, References(original));
  copy.MakeUpper();
  EXPECT_STREQ(L"shared text", original.GetString());
  EXPECT_STREQ(L"SHARED TEXT", copy.GetString());
  EXPECT_EQ(1, References(original));

  wchar_t* pchLocked = original.LockText();
  EXPECT_EQ(-1, References(original));
  CCountedString fromLocked(original);
  CCountedString assigned;
  assigned = original;
  EXPECT_NE(pchLocked, fromLocked.GetString());
  EXPECT_NE(pchLocked, assigned.GetString());
  pchLocked[0] = L'S';  // its owner writes through the held buffer
  EXPECT_STREQ(L"shared text", fromLocked.GetString());
  EXPECT_STREQ(L"Shared text", original.GetString());

  // A locked target keeps its buffer: the text is copied into it.
  original = copy;
  EXPECT_EQ(pchLocked, original.GetString());
  EXPECT_STREQ(L"SHARED TEXT", pchLocked);
  EXPECT_EQ(1, References(copy));
  original.Empty();
  EXPECT_EQ(pchLocked, original.GetString());
  EXPECT_EQ(-1, References(original));

  original.UnlockText();
  original = copy;
  EXPECT_EQ(copy.GetString(), original.GetString());
  EXPECT_EQ(2, References(copy));

  // Every empty string is the one shared empty text, never counted.
  CCountedString empty1, empty2(L""), empty3(empty1);
  empty3.Empty();
  EXPECT_EQ(empty1.GetString(), empty2.GetString());
  EXPECT_EQ(empty1.GetString(), empty3.GetString());
  EXPECT_EQ(-1, References(empty1));
}

TEST(CountedStringTest, WriteBuffersArePrivateAndBoundedByTheirCapacity) {
  CCountedString original(L"abc");
  CCountedString copy(original);
  wchar_t* pch = copy.GetWriteBuffer(100);
  EXPECT_EQ(128, Capacity(copy));
  EXPECT_STREQ(L"abc", pch);
  for (int i = 0; i < 129; ++i) pch[i] = L'z';  // no NUL left anywhere in the block
  copy.ReleaseWriteBuffer(-1);
  EXPECT_EQ(128, copy.GetLength());
  EXPECT_STREQ(L"abc", original.GetString());
  EXPECT_EQ(1, References(original));

  copy.SetWriteLength(2);
  EXPECT_STREQ(L"zz", copy.GetString());
  copy.ReleaseWriteBuffer(1000);  // cut to the capacity, never past it
  EXPECT_EQ(128, copy.GetLength());

  // Appending a string's own text to itself.
  CCountedString self(Text(40).c_str());
  self += self;
  self += self.GetString() + 70;
  EXPECT_EQ(Text(40) + Text(40) + Text(40).substr(30), self.GetString());
}

TEST(CountedStringTest, SearchesAndChangesStayWithinTheText) {
  CCountedString str(L"a;b;c");
  EXPECT_EQ(1, str.Find(L';'));
  EXPECT_EQ(3, str.Find(L';', 2));
  EXPECT_EQ(-1, str.Find(L';', 4));
  EXPECT_EQ(-1, str.Find(L'a', 5));
  EXPECT_EQ(-1, str.Find(L'\0'));
  EXPECT_EQ(2, str.FindOneOf(L"cb"));
  EXPECT_EQ(-1, str.FindOneOf(L"xyz"));
  CCountedString copy(str);
  copy.MakeReverse();
  copy.SetAt(0, L'C');
  copy.SetAt(5, L'!');  // outside: ignored
  EXPECT_STREQ(L"C;b;a", copy.GetString());
  EXPECT_STREQ(L"a;b;c", str.GetString());
  EXPECT_STREQ(L"narrow", CCountedString("narrow").GetString());
  EXPECT_STREQ(L"left+right", (L"left" + CCountedString(L"+") + CCountedString(L"right")).GetString());
}

TEST(CountedStringTest, ExtractFieldCountsSeparators) {
  CCountedString field(L"old");
  EXPECT_TRUE(CCountedString::ExtractField(field, L"a;b;c", 2, L';'));
  EXPECT_STREQ(L"c", field.GetString());
  EXPECT_TRUE(CCountedString::ExtractField(field, L"a;b;c", 0, L';'));
  EXPECT_STREQ(L"a", field.GetString());
  EXPECT_TRUE(CCountedString::ExtractField(field, L"a;;c", 1, L';'));
  EXPECT_STREQ(L"", field.GetString());
  field = L"old";
  EXPECT_FALSE(CCountedString::ExtractField(field, L"a;b;c", 3, L';'));
  EXPECT_TRUE(field.IsEmpty());
}

TEST(CountedStringTest, LoadTextReadsLongResourcesWhole) {
  CCountedString str;
  EXPECT_TRUE(str.LoadText(nullptr, 1001));
  ASSERT_EQ(300, str.GetLength());
  for (int i = 0; i < 300; ++i) ASSERT_EQ(L'0' + i % 10, str.GetAt(i)) << i;
  EXPECT_STREQ(L"short text", CCountedString(MAKEINTRESOURCEW(1002)).GetString());
  EXPECT_FALSE(str.LoadText(nullptr, 4711));
  EXPECT_TRUE(str.IsEmpty());
}

TEST(CountedStringTest, QueryCountedStringGrowsOnceForLongValues) {
  const std::wstring strPath = L"Software\\DelvoraTest\\counted-" + std::to_wstring(GetCurrentProcessId());
  CRegistryKey key(HKEY_LOCAL_MACHINE, strPath.c_str(), TRUE);
  ASSERT_TRUE(key.IsOpen());
  const std::wstring strLong = Text(700);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.GetHandle(), L"Long", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(strLong.c_str()),
                                          static_cast<DWORD>((strLong.size() + 1) * sizeof(wchar_t))));
  // Stored without its NUL: the text ends where the data ends.
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key.GetHandle(), L"Bare", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(L"bare!"), 4 * sizeof(wchar_t)));
  CCountedString str(Text(100).c_str());
  CCountedString shared(str);
  EXPECT_EQ(ERROR_SUCCESS, key.QueryCountedString(L"Long", str));
  EXPECT_EQ(strLong, str.GetString());
  EXPECT_EQ(Text(100), shared.GetString());
  EXPECT_EQ(ERROR_SUCCESS, key.QueryCountedString(L"Bare", str));
  EXPECT_STREQ(L"bare", str.GetString());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.QueryCountedString(L"Missing", str));
  EXPECT_TRUE(str.IsEmpty());
  key.Close();
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, strPath.c_str());
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\DelvoraTest");  // only when now empty
}

void* NoChunk(size_t) { return nullptr; }

DWORD WINAPI MakeLongerString(void*) {
  CCountedString str(Text(100).c_str());
  return Capacity(str) == 128 ? 0 : 1;
}

TEST(CountedStringTest, ExhaustedPoolThrowsAndLeavesTheStringAndTheLockAsTheyWere) {
  // Take every free block so that the next text needs a new chunk.
  std::vector<void*> taken;
  while (g_stringPool128.CountFreeBlocks() > 0) taken.push_back(g_stringPool128.Allocate());
  g_stringPool128.SetChunkSourceForTest(&NoChunk);
  CCountedString str(Text(64).c_str());
  long nThrown = 0;
  try {
    str += L'!';
  } catch (long n) {
    nThrown = n;
  }
  g_stringPool128.SetChunkSourceForTest(nullptr);
  EXPECT_EQ(static_cast<long>(E_OUTOFMEMORY), nThrown);
  EXPECT_EQ(Text(64), str.GetString());
  EXPECT_EQ(64, Capacity(str));

  CFileHandle thread(::CreateThread(nullptr, 0, &MakeLongerString, nullptr, 0, nullptr));
  ASSERT_TRUE(thread);
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 10000)) << "the pool's lock stayed held";
  DWORD dwExit = 1;
  ::GetExitCodeThread(thread.Get(), &dwExit);
  EXPECT_EQ(0u, dwExit);
  for (void* p : taken) g_stringPool128.Free(p);
}

// Eight threads copy, change and drop copies of the same texts; afterwards every
// count is back at one and, once the texts go, every pool block is free again.
constexpr int kThreads = 8;
constexpr int kRoundsPerThread = 1000000 / kThreads;

struct CStressTexts {
  std::vector<CCountedString> texts;
};

DWORD WINAPI ShareAndDrop(void* pParam) {
  const std::vector<CCountedString>& texts = static_cast<CStressTexts*>(pParam)->texts;
  const size_t nTexts = texts.size();
  CCountedString held[4];
  DWORD dwSeed = ::GetCurrentThreadId();
  for (int i = 0; i < kRoundsPerThread; ++i) {
    dwSeed = dwSeed * 1103515245u + 12345u;
    const CCountedString& source = texts[(dwSeed >> 8) % nTexts];
    CCountedString& slot = held[(dwSeed >> 20) % 4];
    switch ((dwSeed >> 24) % 8) {
      case 0: slot += L'x'; break;  // a private copy, from a pool or the heap
      case 1: {
        CCountedString copy(source);
        if (copy.GetLength() != source.GetLength()) return 1;
        break;
      }
      default: slot = source; break;
    }
  }
  return 0;
}

TEST(CountedStringTest, EightThreadsShareAndDropAMillionCopiesWithoutLosingAReference) {
  std::vector<size_t> freeBefore;
  {
    CStressTexts stress;
    for (int nLength : {1, 20, 63, 64, 65, 200, 300, 512, 513, 1500})
      stress.texts.emplace_back(Text(nLength).c_str());
    std::vector<CFileHandle> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back(::CreateThread(nullptr, 0, &ShareAndDrop, &stress, 0, nullptr));
      ASSERT_TRUE(threads.back());
    }
    for (CFileHandle& thread : threads) {
      ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 120000));
      DWORD dwExit = 1;
      ::GetExitCodeThread(thread.Get(), &dwExit);
      EXPECT_EQ(0u, dwExit);
    }
    for (const CCountedString& text : stress.texts) EXPECT_EQ(1, References(text)) << text.GetLength();
  }
  for (CBlockPool* pPool : kPools)
    EXPECT_EQ(pPool->CountChunks() * pPool->GetBlocksPerChunk(), pPool->CountFreeBlocks())
        << pPool->GetBlockSize() << "-byte pool";
}

}  // namespace
