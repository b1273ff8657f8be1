#include "record/RecordIndex.h"

namespace {

const size_t kInitialSlots = 1024;

}  // namespace

size_t CRecordIndex::Probe(DWORD id) const {
  size_t at = Home(id);
  while (m_slots[at].pRecord && m_slots[at].id != id) at = (at + 1) & m_mask;
  return at;
}

const ItemData* CRecordIndex::Find(DWORD id) const {
  if (m_slots.empty()) return nullptr;
  return m_slots[Probe(id)].pRecord;
}

void CRecordIndex::Insert(DWORD id, const ItemData* pRecord) {
  // At most half full, so that probes stay short and always end at a free slot.
  if ((m_count + 1) * 2 > m_slots.size()) Grow();
  Slot& slot = m_slots[Probe(id)];
  if (!slot.pRecord) ++m_count;
  slot = Slot{id, pRecord};
}

void CRecordIndex::Erase(DWORD id) {
  if (m_slots.empty()) return;
  size_t hole = Probe(id);
  if (!m_slots[hole].pRecord) return;
  m_slots[hole].pRecord = nullptr;
  --m_count;
  // Entries after the hole whose search passes it move into it.
  for (size_t next = (hole + 1) & m_mask; m_slots[next].pRecord; next = (next + 1) & m_mask) {
    const size_t home = Home(m_slots[next].id);
    const bool passesHole = hole <= next ? (home <= hole || home > next) : (home <= hole && home > next);
    if (passesHole) {
      m_slots[hole] = m_slots[next];
      m_slots[next].pRecord = nullptr;
      hole = next;
    }
  }
}

void CRecordIndex::Clear() {
  m_slots.clear();
  m_mask = 0;
  m_count = 0;
}

void CRecordIndex::Grow() {
  std::vector<Slot> old;
  old.swap(m_slots);
  const size_t size = old.empty() ? kInitialSlots : old.size() * 2;
  m_slots.assign(size, Slot{0, nullptr});
  m_mask = size - 1;
  m_count = 0;
  for (const Slot& slot : old) {
    if (slot.pRecord) Insert(slot.id, slot.pRecord);
  }
}
