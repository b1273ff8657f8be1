#include "stats/HistoryGraph.h"

#include "resources/resource.h"
#include "stats/Formatting.h"

std::vector<GraphLine> CHistoryGraphSource::GetGraphLines() const {
  std::vector<GraphLine> lines;
  for (int i = 0; i < m_nLines; ++i) {
    CString strName;
    strName.LoadString(m_pLines[i].nNameId);
    lines.push_back({strName, m_pLines[i].nSysColor, m_pLines[i].nDecimals, m_pLines[i].bDashed});
  }
  return lines;
}

int CHistoryGraphSource::SampleAt(int nSlot) const {
  if (!m_pHistory || nSlot < 0 || nSlot >= m_nSlots) return -1;
  const int nIndex = m_pHistory->GetCount() - m_nSlots + nSlot;
  return nIndex >= 0 ? nIndex : -1;
}

bool CHistoryGraphSource::GetValue(int nLine, int nSlot, double& dValue) const {
  const int nIndex = SampleAt(nSlot);
  return nIndex >= 0 && nLine >= 0 && nLine < m_nLines && m_pHistory->GetValue(nIndex, m_pLines[nLine].value, dValue);
}

CString CHistoryGraphSource::GetSlotTime(int nSlot) const {
  const int nIndex = SampleAt(nSlot);
  if (nIndex < 0) return CString();
  const GlobalSample& sample = m_pHistory->GetSample(nIndex);
  const CString strTime = FormatTimeStamp(sample.GetTime());
  if (sample.bAnswered) return strTime;
  return FormatResourceMessage(IDS_GRAPH_NO_ANSWER, strTime, strTime);
}
