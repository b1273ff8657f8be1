#pragma once
// Record id -> record, for lookups that cost no walk. Open addressing on the
// id's low bits: ids are handed out in sequence, so the ids held at one time
// rarely share a slot and a lookup is a few nanoseconds (the list's sort makes
// two per comparison). Deletion shifts the following entries back, so no
// tombstones build up.

#include <windows.h>

#include <cstddef>
#include <vector>

#include "stats/ItemData.h"

class CRecordIndex {
public:
  // Null when no record carries the id.
  const ItemData* Find(DWORD id) const;
  // Adds or replaces the entry of `id`; pRecord must not be null.
  void Insert(DWORD id, const ItemData* pRecord);
  // An id not held is ignored.
  void Erase(DWORD id);
  void Clear();

private:
  struct Slot {
    DWORD id;
    const ItemData* pRecord;  // null: free
  };
  size_t Home(DWORD id) const { return id & m_mask; }
  // The slot holding `id`, or the free slot where its search ends.
  size_t Probe(DWORD id) const;
  void Grow();

  std::vector<Slot> m_slots;
  size_t m_mask = 0;
  size_t m_count = 0;
};
