#include "record/RecordLogData.h"

#include "resources/resource.h"
#include "stats/Formatting.h"
#include "support/InitOrder.h"

// After the ended-stream queue and the items, before the event log's objects.
CRecordLogData CRecordLogData::m_global DELVORA_INIT_ORDER(init_order::kHistory);

// ---- record ids ------------------------------------------------------------------

HRESULT CRecordIdAllocator::Allocate(DWORD& id) {
  // `next` is always the first id in use at or after the candidate, so a run of
  // used ids is stepped over without a lookup each.
  DWORD candidate = m_nLastId;
  auto next = m_usedIds.upper_bound(candidate);
  for (unsigned long long tried = 0; tried < 0xFFFFFFFFull; ++tried) {
    ++candidate;  // wraps from 0xFFFFFFFF to 0
    if (candidate == 0) next = m_usedIds.begin();
    if (next != m_usedIds.end() && *next == candidate) {
      ++next;
      continue;
    }
    m_usedIds.insert(next, candidate);
    m_nLastId = candidate;
    id = candidate;
    return S_OK;
  }
  return E_FAIL;
}

void CRecordIdAllocator::Release(DWORD id) { m_usedIds.erase(id); }

void CRecordIdAllocator::ReleaseAll() { m_usedIds.clear(); }

// ---- the store ---------------------------------------------------------------------

HRESULT CRecordLogData::Insert(const ItemData& item, DWORD& id) {
  // Copied before the id is taken: a copy that runs out of memory must not leave an
  // id in use that no record carries.
  ItemData record(item);
  DWORD newId = 0;
  const HRESULT hr = m_ids.Allocate(newId);
  if (FAILED(hr)) return hr;
  record.m_dwRecordId = newId;
  try {
    const auto placed = m_records.insert(record).first;
    m_byId.Insert(newId, &*placed);
  } catch (...) {
    // Out of memory half way: the store keeps its invariant before the failure goes on.
    m_records.erase(record);
    m_ids.Release(newId);
    throw;
  }
  id = newId;
  return S_OK;
}

HRESULT CRecordLogData::EraseOldest(DWORD& id) {
  if (m_records.empty()) return E_FAIL;
  const auto oldest = m_records.begin();
  const DWORD oldestId = oldest->m_dwRecordId;
  m_byId.Erase(oldestId);
  m_records.erase(oldest);
  m_ids.Release(oldestId);
  id = oldestId;
  return S_OK;
}

void CRecordLogData::Clear() {
  m_byId.Clear();
  m_records.clear();
  m_ids.ReleaseAll();
}

const ItemData* CRecordLogData::Find(DWORD id) const {
  return m_byId.Find(id);
}

HRESULT CRecordLogData::FindRecord(DWORD id, ItemData& item) const {
  const ItemData* pRecord = Find(id);
  if (!pRecord) return E_FAIL;
  item = *pRecord;
  return S_OK;
}

// ---- the log file's lines ----------------------------------------------------------

CString CRecordLogData::GetHeader() {
  if (m_strHeader.IsEmpty()) {
    // The log's columns, in the order of the record line.
    static const UINT kTitleIds[10] = {IDS_COL_DEVICE,       IDS_COL_START_TIME, IDS_COL_END_TIME, IDS_COL_AVERAGE,
                                       IDS_COL_ADDRESS,      IDS_COL_ADDRESS_PORT, IDS_COL_PORT,   IDS_COL_CODEC,
                                       IDS_COL_DURATION,     IDS_COL_COUNTER};
    CString strHeader;
    for (int i = 0; i < 10; ++i) {
      CString strTitle;
      strTitle.LoadString(kTitleIds[i]);  // a missing title stays empty
      if (i > 0) strHeader += L'\t';
      strHeader += strTitle;
    }
    m_strHeader = strHeader;
  }
  return m_strHeader;
}

CString CRecordLogData::FormatRecord(const ItemData& item) {
  CString strStart(L"ERROR");
  CString strEnd(L"ERROR");
  FormatLogTime(item.m_timeStart, strStart);
  FormatLogTime(item.m_timeLast, strEnd);
  const CString strAverage = FormatAverage(item.m_dAverage);
  const CString strCodec = FormatCodecName(item.m_wCodec);
  CString strLine;
  strLine.Format(L"%ld\t%s\t%s\t%s\t%s\t%ld\t%ld\t%s\t%lu\t%lu", static_cast<long>(item.m_nDevice),
                 strStart.GetString(), strEnd.GetString(), strAverage.GetString(), item.m_strAddress.GetString(),
                 static_cast<long>(item.m_wAddressPort), static_cast<long>(item.m_wPort), strCodec.GetString(),
                 static_cast<unsigned long>(ClampToULong(item.m_spanDuration.GetTotalSeconds())),
                 static_cast<unsigned long>(item.m_dwCounter));
  return strLine;
}

bool FormatLogTime(const CTime& time, CString& strText) {
  struct tm local;
  if (time.GetLocalTm(&local) == nullptr) return false;
  CString strStamp;
  if (!strStamp.Format(L"%04u-%02u-%02u %02u:%02u:%02u", static_cast<unsigned>(local.tm_year + 1900),
                       static_cast<unsigned>(local.tm_mon + 1), static_cast<unsigned>(local.tm_mday),
                       static_cast<unsigned>(local.tm_hour), static_cast<unsigned>(local.tm_min),
                       static_cast<unsigned>(local.tm_sec))) {
    return false;
  }
  strText = strStamp;
  return true;
}
