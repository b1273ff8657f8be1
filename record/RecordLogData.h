#pragma once
// The history of ended streams: one record per stream the record log page took
// from the queue, in one fixed total order (ItemData's: end time first), each
// with a record id that no other record held carries. The store sets no limit;
// the page trims it to its history size. Also the log file's header and record
// lines. GUI thread only.

#include <windows.h>

#include <cstddef>
#include <set>

#include "framework/String.h"
#include "framework/Time.h"
#include "record/RecordIndex.h"
#include "stats/ItemData.h"

// Hands out record ids: the candidates after the last id handed out, wrapping
// from 0xFFFFFFFF to 0, skipping ids still in use.
class CRecordIdAllocator {
public:
  // 0 with the new id in `id`, or E_FAIL (nothing changed) when every id is in use.
  HRESULT Allocate(DWORD& id);
  // An id not in use is ignored.
  void Release(DWORD id);
  // Every id free again; the last id handed out stays, so ids go on increasing.
  void ReleaseAll();

  DWORD m_nLastId = 0;
  std::set<DWORD> m_usedIds;
};

class CRecordLogData {
public:
  typedef std::set<ItemData> Records;

  // Stores a copy of item with a new record id (the caller's id is ignored) and
  // writes the id to `id`. E_FAIL, store unchanged, when no id is free.
  HRESULT Insert(const ItemData& item, DWORD& id);
  // Removes the first record in the order and writes its id to `id`; E_FAIL with
  // `id` untouched when the store is empty.
  HRESULT EraseOldest(DWORD& id);
  // Removes every record and frees every id.
  void Clear();
  // Copies the record with this id to `item`; E_FAIL with `item` untouched when no
  // record carries it.
  HRESULT FindRecord(DWORD id, ItemData& item) const;
  // The record with this id, or null; valid until the store next changes.
  const ItemData* Find(DWORD id) const;
  DWORD GetCount() const { return static_cast<DWORD>(m_records.size()); }
  // The order of the records with ids a and b from the order keys kept beside
  // them, without the records (CRecordIndex::CompareKeys): false when the keys
  // cannot tell, and the records must be compared.
  bool CompareKeys(DWORD a, DWORD b, OrderField field, bool bAscending, OrderField tieField, int& order) const {
    return m_byId.CompareKeys(a, b, field, bAscending, tieField, order);
  }

  // In-order traversal, first (oldest) to last.
  Records::const_iterator begin() const { return m_records.begin(); }
  Records::const_iterator end() const { return m_records.end(); }

  // The log file's header: the ten column titles joined by tabs, built from the
  // resource module on the first call and kept unchanged until exit.
  CString GetHeader();
  // The log file's line of one record: its fields under the header's titles,
  // joined by tabs (uses no state of the store).
  static CString FormatRecord(const ItemData& item);

  // The one history of the program.
  static CRecordLogData m_global;

  Records m_records;
  CString m_strHeader;
  CRecordIdAllocator m_ids;

private:
  // Record id -> its record, so that a lookup costs no walk of the records.
  CRecordIndex m_byId;
};

// The log file's time stamp of `time` ("2003-05-06 09:07:05", local calendar).
// False, strText untouched, when the time has no local calendar form (before 1970).
bool FormatLogTime(const CTime& time, CString& strText);
