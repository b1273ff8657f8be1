#include "tests/counted_string/StaticOrderProbe.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "support/BlockPool.h"
#include "support/CountedString.h"

namespace {

// Constant-initialised, so the log is there before the first probe.
char g_szLog[4096];
int g_nProbesAlive = 0;

// A text from each pool and one from the heap, written, read back and given back.
// A pool not yet built has block size 0 (static storage starts zeroed); a pool
// already destroyed has no chunk left, while the probes keep at least one in use
// from the first probe's construction on.
bool PoolsServe(bool bDestroying) {
  CBlockPool* const pools[] = {&g_stringPool64, &g_stringPool128, &g_stringPool256, &g_stringPool512};
  const UINT blockSizes[] = {144, 272, 528, 1040};
  const int lengths[] = {10, 100, 200, 400, 600};
  for (int i = 0; i < 5; ++i) {
    if (i < 4) {
      if (pools[i]->GetBlockSize() != blockSizes[i]) return false;
      if (bDestroying && pools[i]->CountChunks() == 0) return false;
    }
    wchar_t szText[601] = {};
    for (int n = 0; n < lengths[i]; ++n) szText[n] = static_cast<wchar_t>(L'a' + n % 26);
    CCountedString str(szText);
    CCountedString copy(str);
    copy += L'!';
    if (wcsncmp(copy.GetString(), szText, lengths[i]) != 0 || copy.GetLength() != lengths[i] + 1) return false;
  }
  return true;
}

// Keeps one text in every pool while any probe lives (see PoolsServe).
CCountedString* g_pKeep[4];

void Note(const char* pszEvent, const char* pszName, bool bDestroying) {
  const bool bServed = PoolsServe(bDestroying);
  char szLine[128];
  snprintf(szLine, sizeof(szLine), "%s %s: %s\n", pszEvent, pszName, bServed ? "pools ok" : "POOLS UNUSABLE");
  strncat(g_szLog, szLine, sizeof(g_szLog) - strlen(g_szLog) - 1);
}

}  // namespace

CStaticProbe::CStaticProbe(const char* pszName) : m_pszName(pszName) {
  Note("built", m_pszName, false);
  if (g_nProbesAlive++ == 0 && g_stringPool64.GetBlockSize() != 0) {
    const wchar_t* texts[] = {L"a", L"ab", L"abc", L"abcd"};
    for (int i = 0; i < 4; ++i) {
      g_pKeep[i] = new CCountedString(texts[i]);
      g_pKeep[i]->GetWriteBuffer(1 + 64 * (1 << i) / 2);  // 33, 65, 129, 257: one per pool
    }
  }
}

CStaticProbe::~CStaticProbe() {
  Note("destroyed", m_pszName, true);
  if (--g_nProbesAlive > 0) return;
  for (CCountedString*& pKeep : g_pKeep) {
    delete pKeep;
    pKeep = nullptr;
  }
  // The last probe to go reports to a parent that asked for it.
  if (::GetEnvironmentVariableW(L"DELVORA_STATIC_ORDER_REPORT", nullptr, 0) > 0) {
    fputs(g_szLog, stdout);
    fflush(stdout);
  }
}

const char* StaticProbeLog() { return g_szLog; }
