#include "recorder/RecorderEvents.h"

#include <memory>
#include <vector>

namespace {

struct LocalFreer {
  void operator()(wchar_t* p) const { ::LocalFree(p); }
};

}  // namespace

void CRecorderEvents::Report(WORD wType, DWORD dwEventId, std::initializer_list<CString> strings) {
  std::vector<const wchar_t*> texts;
  for (const CString& str : strings) texts.push_back(str.GetString());
  m_log.Report(wType, 0, dwEventId, nullptr, static_cast<WORD>(texts.size()), 0, texts.data(), nullptr);
  if (m_echo) m_echo(wType, dwEventId, FormatText(dwEventId, strings));
}

CString CRecorderEvents::FormatText(DWORD dwEventId, std::initializer_list<CString> strings) {
  // The event log appends the help line as one more insert; the echo has none.
  std::vector<DWORD_PTR> inserts;
  for (const CString& str : strings) inserts.push_back(reinterpret_cast<DWORD_PTR>(str.GetString()));
  inserts.push_back(reinterpret_cast<DWORD_PTR>(L""));
  wchar_t* pszText = nullptr;
  // FORMAT_MESSAGE_ALLOCATE_BUFFER: the system allocates the text with LocalAlloc.
  const DWORD cch = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                         FORMAT_MESSAGE_ARGUMENT_ARRAY,
                                     ::GetModuleHandleW(nullptr), dwEventId, 0x0409,
                                     reinterpret_cast<wchar_t*>(&pszText), 0,
                                     reinterpret_cast<va_list*>(inserts.data()));
  const std::unique_ptr<wchar_t, LocalFreer> text(pszText);
  CString strText;
  if (cch != 0 && text) {
    strText = CString(text.get(), static_cast<int>(cch));
  } else {
    strText.Format(L"event %lu", static_cast<unsigned long>(dwEventId));
    for (const CString& str : strings) strText += L" | " + str;
  }
  return strText;
}
