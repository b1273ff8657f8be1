#pragma once
// Record id -> record, for lookups that cost no walk. Open addressing on the
// id's low bits: ids are handed out in sequence, so the ids held at one time
// rarely share a slot and a lookup is a few nanoseconds (the list's sort makes
// two per comparison). Deletion shifts the following entries back, so no
// tombstones build up. Beside each entry lie its record's order keys, one array
// per field: a sort reads the slots and a field's keys, some tens of kilobytes,
// instead of records spread over the heap.

#include <windows.h>

#include <cstddef>
#include <vector>

#include "stats/ItemData.h"

class CRecordIndex {
public:
  // Null when no record carries the id.
  const ItemData* Find(DWORD id) const;
  // Adds or replaces the entry of `id` and takes its record's order keys; pRecord
  // must not be null, and the record must not change while the entry is held.
  void Insert(DWORD id, const ItemData* pRecord);
  // An id not held is ignored.
  void Erase(DWORD id);
  void Clear();

  // The three-way order (-1, 0, 1 into `order`) of the records with ids a and b
  // by `field` in the given direction, a tie broken by `tieField` ascending (kNone:
  // the tie stands), as the fields' comparisons give it, told by the order keys
  // alone. False, `order` untouched, when the keys cannot tell: field kNone, an id
  // not held, a key that is kNoOrderKey. Inline: a sort asks some 20,000 times.
  bool CompareKeys(DWORD a, DWORD b, OrderField field, bool bAscending, OrderField tieField, int& order) const {
    if (m_slots.empty() || static_cast<unsigned>(field) >= kOrderFields ||
        static_cast<unsigned>(tieField) > kOrderFields) {
      return false;
    }
    const size_t slotA = Probe(a);
    const size_t slotB = Probe(b);
    if (!m_slots[slotA].pRecord || !m_slots[slotB].pRecord) return false;
    const unsigned long long* keys = KeysOf(field);
    // Without a tie-break the field's own keys stand in: equal keys stay equal.
    const unsigned long long* ties = tieField == OrderField::kNone ? keys : KeysOf(tieField);
    const unsigned long long keyA = keys[slotA];
    const unsigned long long keyB = keys[slotB];
    const unsigned long long tieA = ties[slotA];
    const unsigned long long tieB = ties[slotB];
    if ((keyA == kNoOrderKey) | (keyB == kNoOrderKey) | (tieA == kNoOrderKey) | (tieB == kNoOrderKey)) return false;
    // No branches on the keys: a sort's outcomes cannot be predicted.
    const int primary = (keyA > keyB) - (keyA < keyB);
    const int tie = (tieA > tieB) - (tieA < tieB);
    order = primary != 0 ? (bAscending ? primary : -primary) : tie;
    return true;
  }

private:
  struct Slot {
    DWORD id;
    const ItemData* pRecord;  // null: free
  };
  size_t Home(DWORD id) const { return id & m_mask; }
  // The slot holding `id`, or the free slot where its search ends.
  size_t Probe(DWORD id) const {
    size_t at = Home(id);
    while (m_slots[at].pRecord && m_slots[at].id != id) at = (at + 1) & m_mask;
    return at;
  }
  // The keys of `field`, one per slot.
  const unsigned long long* KeysOf(OrderField field) const {
    return &m_keys[static_cast<size_t>(field) * m_slots.size()];
  }
  unsigned long long* KeysOf(OrderField field) { return &m_keys[static_cast<size_t>(field) * m_slots.size()]; }
  void Grow();

  std::vector<Slot> m_slots;
  std::vector<unsigned long long> m_keys;  // kOrderFields arrays of m_slots.size() keys
  size_t m_mask = 0;
  size_t m_count = 0;
};
