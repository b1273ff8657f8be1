#include "record/RecordLogData.h"

#include "resources/resource.h"
#include "stats/Formatting.h"
#include "stats/ItemColumns.h"
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

namespace {

// A time with no local calendar form is logged as "ERROR".
CString LogTime(const CTime& time) {
  CString strText(L"ERROR");
  FormatLogTime(time, strText);
  return strText;
}

struct LogColumn {
  UINT nTitleId;                         // the header's title
  CString (*pfnField)(const ItemData&);  // the record line's field
};

// The log's columns in record order: the header and every line are made from
// this one table, so that a title always stands over its field.
// Beside the device number without leading zeros and the times with their dates,
// the fields read as the list's cells do.
const LogColumn kLogColumns[] = {
    {IDS_COL_DEVICE,
     [](const ItemData& item) {
       CString strText;
       strText.Format(L"%ld", static_cast<long>(item.m_nDevice));
       return strText;
     }},
    {IDS_COL_START_TIME, [](const ItemData& item) { return LogTime(item.m_timeStart); }},
    {IDS_COL_END_TIME, [](const ItemData& item) { return LogTime(item.m_timeLast); }},
    {IDS_COL_AVERAGE, item_columns::AverageText},
    {IDS_COL_ADDRESS, item_columns::AddressText},
    {IDS_COL_ADDRESS_PORT, item_columns::AddressPortText},
    {IDS_COL_PORT, item_columns::PortText},
    {IDS_COL_CODEC, item_columns::CodecText},
    {IDS_COL_DURATION, item_columns::DurationText},
    {IDS_COL_COUNTER, item_columns::CounterText},
};

}  // namespace

CString CRecordLogData::GetHeader() {
  if (m_strHeader.IsEmpty()) {
    CString strHeader;
    for (const LogColumn& column : kLogColumns) {
      CString strTitle;
      strTitle.LoadString(column.nTitleId);  // a missing title stays empty
      if (&column != kLogColumns) strHeader += L'\t';
      strHeader += strTitle;
    }
    m_strHeader = strHeader;
  }
  return m_strHeader;
}

CString CRecordLogData::FormatRecord(const ItemData& item) {
  CString strLine;
  for (const LogColumn& column : kLogColumns) {
    if (&column != kLogColumns) strLine += L'\t';
    strLine += column.pfnField(item);
  }
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
