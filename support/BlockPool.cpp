#include "support/BlockPool.h"

#include "support/InitOrder.h"
#include "support/OutOfMemory.h"

// In this order: the pools of one file are built as they are defined here.
CBlockPool g_stringPool64 DELVORA_INIT_ORDER(init_order::kStringPools)(144, 64);
CBlockPool g_stringPool128 DELVORA_INIT_ORDER(init_order::kStringPools)(272, 64);
CBlockPool g_stringPool256 DELVORA_INIT_ORDER(init_order::kStringPools)(528, 64);
CBlockPool g_stringPool512 DELVORA_INIT_ORDER(init_order::kStringPools)(1040, 64);

namespace {

// Releases the lock on every way out, the out-of-memory throw included.
class CLockGuard {
public:
  explicit CLockGuard(CRITICAL_SECTION& cs) noexcept : m_cs(cs) { ::EnterCriticalSection(&m_cs); }
  ~CLockGuard() { ::LeaveCriticalSection(&m_cs); }
  CLockGuard(const CLockGuard&) = delete;
  CLockGuard& operator=(const CLockGuard&) = delete;

private:
  CRITICAL_SECTION& m_cs;
};

void* HeapChunk(size_t cb) { return CheckedHeapAlloc(cb); }

// Blocks keep the alignment of the chunk's link, so a block's header and a free
// block's link are both aligned.
UINT AlignedBlockSize(UINT cbBlock) {
  const UINT cbAlign = sizeof(void*);
  if (cbBlock < cbAlign) cbBlock = cbAlign;
  return (cbBlock + cbAlign - 1) / cbAlign * cbAlign;
}

}  // namespace

CBlockPool::CBlockPool(UINT cbBlock, UINT nBlocksPerChunk)
    : m_cbBlock(AlignedBlockSize(cbBlock)), m_nBlocksPerChunk(nBlocksPerChunk ? nBlocksPerChunk : 1),
      m_pfnChunkSource(&HeapChunk) {
  // A short spin: the lock is held for a few instructions, so a waiting thread is
  // better off spinning than sleeping in the kernel.
  ::InitializeCriticalSectionAndSpinCount(&m_cs, 4000);
}

CBlockPool::~CBlockPool() {
  FreeAll();
  ::DeleteCriticalSection(&m_cs);
}

void* CBlockPool::Allocate() {
  CLockGuard lock(m_cs);
  if (!m_pFree) {
    const size_t cbChunk = sizeof(CLink) + static_cast<size_t>(m_cbBlock) * m_nBlocksPerChunk;
    CLink* pChunk = static_cast<CLink*>(m_pfnChunkSource(cbChunk));
    if (!pChunk) ThrowOutOfMemory();
    pChunk->pNext = m_pChunks;
    m_pChunks = pChunk;
    // Threaded from the top down so that the lowest address comes out first.
    BYTE* pFirst = reinterpret_cast<BYTE*>(pChunk + 1);
    for (UINT n = m_nBlocksPerChunk; n-- > 0;) {
      CLink* pBlock = reinterpret_cast<CLink*>(pFirst + static_cast<size_t>(n) * m_cbBlock);
      pBlock->pNext = m_pFree;
      m_pFree = pBlock;
    }
  }
  CLink* pBlock = m_pFree;
  m_pFree = pBlock->pNext;
  return pBlock;
}

void CBlockPool::Free(void* pBlock) noexcept {
  if (!pBlock) return;
  CLockGuard lock(m_cs);
  CLink* pLink = static_cast<CLink*>(pBlock);
  pLink->pNext = m_pFree;
  m_pFree = pLink;
}

void CBlockPool::FreeAll() noexcept {
  CLockGuard lock(m_cs);
  while (m_pChunks) {
    CLink* pChunk = m_pChunks;
    m_pChunks = pChunk->pNext;
    ::HeapFree(::GetProcessHeap(), 0, pChunk);
  }
  m_pFree = nullptr;
}

size_t CBlockPool::CountFreeBlocks() {
  CLockGuard lock(m_cs);
  size_t n = 0;
  for (CLink* p = m_pFree; p; p = p->pNext) ++n;
  return n;
}

size_t CBlockPool::CountChunks() {
  CLockGuard lock(m_cs);
  size_t n = 0;
  for (CLink* p = m_pChunks; p; p = p->pNext) ++n;
  return n;
}

void CBlockPool::SetChunkSourceForTest(ChunkSource pfnSource) {
  CLockGuard lock(m_cs);
  m_pfnChunkSource = pfnSource ? pfnSource : &HeapChunk;
}
