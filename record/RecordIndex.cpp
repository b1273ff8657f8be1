#include "record/RecordIndex.h"

#include <utility>

namespace {

const size_t kInitialSlots = 1024;

}  // namespace

const ItemData* CRecordIndex::Find(DWORD id) const {
  if (m_slots.empty()) return nullptr;
  return m_slots[Probe(id)].pRecord;
}

void CRecordIndex::Insert(DWORD id, const ItemData* pRecord) {
  // At most half full, so that probes stay short and always end at a free slot.
  if ((m_count + 1) * 2 > m_slots.size()) Grow();
  const size_t at = Probe(id);
  if (!m_slots[at].pRecord) ++m_count;
  m_slots[at] = Slot{id, pRecord};
  for (int field = 0; field < kOrderFields; ++field) {
    KeysOf(static_cast<OrderField>(field))[at] = GetOrderKey(*pRecord, static_cast<OrderField>(field));
  }
}

void CRecordIndex::Erase(DWORD id) {
  if (m_slots.empty()) return;
  size_t hole = Probe(id);
  if (!m_slots[hole].pRecord) return;
  m_slots[hole].pRecord = nullptr;
  --m_count;
  // Entries after the hole whose search passes it move into it, with their keys.
  for (size_t next = (hole + 1) & m_mask; m_slots[next].pRecord; next = (next + 1) & m_mask) {
    const size_t home = Home(m_slots[next].id);
    const bool passesHole = hole <= next ? (home <= hole || home > next) : (home <= hole && home > next);
    if (passesHole) {
      m_slots[hole] = m_slots[next];
      for (int field = 0; field < kOrderFields; ++field) {
        unsigned long long* keys = KeysOf(static_cast<OrderField>(field));
        keys[hole] = keys[next];
      }
      m_slots[next].pRecord = nullptr;
      hole = next;
    }
  }
}

void CRecordIndex::Clear() {
  m_slots.clear();
  m_keys.clear();
  m_mask = 0;
  m_count = 0;
}

void CRecordIndex::Grow() {
  // Built aside, so that running out of memory leaves this index whole.
  CRecordIndex grown;
  const size_t size = m_slots.empty() ? kInitialSlots : m_slots.size() * 2;
  grown.m_slots.assign(size, Slot{0, nullptr});
  grown.m_keys.assign(size * kOrderFields, kNoOrderKey);
  grown.m_mask = size - 1;
  for (const Slot& slot : m_slots) {
    if (slot.pRecord) grown.Insert(slot.id, slot.pRecord);
  }
  *this = std::move(grown);
}
