// The block pool: chunk growth and order, and a failing chunk allocation.

#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "support/BlockPool.h"
#include "support/UniqueHandle.h"

namespace {

void* NoChunk(size_t) { return nullptr; }

TEST(BlockPoolTest, GrowsByOneChunkAtTheBlockAfterTheLastFreeAndHandsOutLowAddressesFirst) {
  CBlockPool pool(144, 64);
  std::vector<BYTE*> blocks;
  for (int i = 0; i < 64; ++i) blocks.push_back(static_cast<BYTE*>(pool.Allocate()));
  EXPECT_EQ(1u, pool.CountChunks());
  EXPECT_EQ(0u, pool.CountFreeBlocks());
  for (int i = 1; i < 64; ++i) EXPECT_EQ(blocks[i - 1] + 144, blocks[i]) << "block " << i;

  blocks.push_back(static_cast<BYTE*>(pool.Allocate()));  // the 65th
  EXPECT_EQ(2u, pool.CountChunks());
  EXPECT_EQ(63u, pool.CountFreeBlocks());

  // A freed block is the next one handed out; null is ignored.
  pool.Free(blocks[10]);
  pool.Free(nullptr);
  EXPECT_EQ(blocks[10], pool.Allocate());

  for (BYTE* p : blocks) pool.Free(p);
  EXPECT_EQ(128u, pool.CountFreeBlocks());
  pool.FreeAll();
  EXPECT_EQ(0u, pool.CountChunks());
  EXPECT_EQ(0u, pool.CountFreeBlocks());
  EXPECT_NE(nullptr, pool.Allocate());  // usable again after FreeAll
}

DWORD WINAPI AllocateFromPool(void* pParam) {
  CBlockPool* pPool = static_cast<CBlockPool*>(pParam);
  pPool->Free(pPool->Allocate());
  return 0;
}

// The out-of-memory throw must leave the pool's lock free for every other thread.
TEST(BlockPoolTest, FailedChunkThrowsOutOfMemoryAndReleasesTheLock) {
  CBlockPool pool(272, 64);
  pool.SetChunkSourceForTest(&NoChunk);
  long nThrown = 0;
  try {
    pool.Allocate();
  } catch (long n) {
    nThrown = n;
  }
  EXPECT_EQ(static_cast<long>(E_OUTOFMEMORY), nThrown);
  EXPECT_EQ(0u, pool.CountChunks());

  pool.SetChunkSourceForTest(nullptr);
  CFileHandle thread(::CreateThread(nullptr, 0, &AllocateFromPool, &pool, 0, nullptr));
  ASSERT_TRUE(thread);
  ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread.Get(), 10000)) << "the lock stayed held";
  EXPECT_EQ(1u, pool.CountChunks());
  EXPECT_EQ(64u, pool.CountFreeBlocks());
}

}  // namespace
