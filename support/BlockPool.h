#pragma once
// CBlockPool: blocks of one size carved from chunks of the process heap, for the
// counted string's short texts. A chunk holds a link to the chunk before it and then
// its blocks; a free block's first bytes link to the next free block. The pool only
// grows, one chunk at a time, and gives its chunks back when it is destroyed.
// Allocate and Free may be called from any thread: each pool has its own lock.

#include <windows.h>

#include <cstddef>

class CBlockPool {
public:
  // Where chunks come from: the process heap unless a test injects a failure. A
  // source returns memory that HeapFree on the process heap releases, or null.
  using ChunkSource = void* (*)(size_t cb);

  // cbBlock is rounded up to hold at least the free-list link.
  CBlockPool(UINT cbBlock, UINT nBlocksPerChunk);
  ~CBlockPool();
  CBlockPool(const CBlockPool&) = delete;
  CBlockPool& operator=(const CBlockPool&) = delete;

  // A block, lowest address of a new chunk first. A chunk that cannot be had throws
  // the long value E_OUTOFMEMORY, with the lock released.
  void* Allocate();
  void Free(void* pBlock) noexcept;  // null is ignored
  // Releases every chunk; blocks still in use become invalid.
  void FreeAll() noexcept;

  UINT GetBlockSize() const noexcept { return m_cbBlock; }
  UINT GetBlocksPerChunk() const noexcept { return m_nBlocksPerChunk; }

  // For tests: the lists counted under the lock, and the chunk source (null
  // restores the heap).
  size_t CountFreeBlocks();
  size_t CountChunks();
  void SetChunkSourceForTest(ChunkSource pfnSource);

private:
  struct CLink {
    CLink* pNext;
  };

  UINT m_cbBlock;
  UINT m_nBlocksPerChunk;
  CLink* m_pChunks = nullptr;
  CLink* m_pFree = nullptr;
  ChunkSource m_pfnChunkSource = nullptr;
  CRITICAL_SECTION m_cs;
};

// The counted string's four pools, for texts of up to 64, 128, 256 and 512
// characters (a 12-byte header, the characters and a NUL, rounded to 4 bytes).
// Built before every other static object of the program (support/InitOrder.h).
extern CBlockPool g_stringPool64;
extern CBlockPool g_stringPool128;
extern CBlockPool g_stringPool256;
extern CBlockPool g_stringPool512;
