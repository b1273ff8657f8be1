#include "support/MessageModule.h"

#include <cwchar>
#include <new>

#include "support/OutOfMemory.h"
#include "support/RegistryKey.h"

namespace {

const wchar_t kApplicationSourcesKey[] = L"System\\CurrentControlSet\\Services\\EventLog\\Application\\";

// FormatMessageW names inserts %1 to %99: an argument array this long covers every
// insert a message can hold, so a message naming more than the caller gave reads
// empty texts instead of running off the array.
constexpr int kMaxInserts = 99;
constexpr DWORD kTextGrowth = 512;
// FormatMessageW writes no more than 64 KB; a longer request is never needed.
constexpr DWORD kMaxTextLength = 32768;

int CompareOrdinal(const wchar_t* pszLeft, const wchar_t* pszRight) noexcept {
  return wcscmp(pszLeft ? pszLeft : L"", pszRight ? pszRight : L"");
}

CWideBuffer AllocText(DWORD cch) {
  CWideBuffer buffer(static_cast<wchar_t*>(CheckedCalloc(cch, sizeof(wchar_t))));
  if (!buffer) ThrowOutOfMemory();
  return buffer;
}

}  // namespace

void CMessageModule::Load(const wchar_t* pszName) {
  if (m_bLoadTried || !pszName) return;
  m_bLoadTried = true;
  if (!wcschr(pszName, L'.')) {
    CRegistryKey key(HKEY_LOCAL_MACHINE, (kApplicationSourcesKey + CWideString(pszName)).GetText(), TRUE);
    CWideString strEventFile;
    if (key.GetString(L"EventMessageFile", strEventFile, FALSE, TRUE) == ERROR_SUCCESS) {
      m_hEventModule.Attach(LoadLibraryW(strEventFile.GetText()));
    }
    CWideString strCategoryFile;
    if (key.GetString(L"CategoryMessageFile", strCategoryFile, FALSE, TRUE) == ERROR_SUCCESS &&
        CompareOrdinal(strCategoryFile.GetText(), strEventFile.GetText()) != 0) {
      m_hCategoryModule.Attach(LoadLibraryW(strCategoryFile.GetText()));
    }
  } else {
    m_hEventModule.Attach(LoadLibraryW(pszName));
  }
  if (m_hEventModule) m_strName = pszName;
}

void CMessageModule::Unload() noexcept {
  m_hEventModule.Close();
  m_hCategoryModule.Close();
  m_strName = nullptr;
}

bool CMessageModuleCache::OrdinalLess::operator()(const CWideString& left,
                                                   const CWideString& right) const noexcept {
  return CompareOrdinal(left.GetText(), right.GetText()) < 0;
}

CMessageModule* CMessageModuleCache::Lookup(const wchar_t* pszName) {
  if (!pszName) return nullptr;
  CWideString strName(pszName);
  auto it = m_entries.find(strName);
  if (it != m_entries.end()) return it->second.get();
  auto pModule = std::make_unique<CMessageModule>();
  pModule->Load(pszName);
  return m_entries.emplace(std::move(strName), std::move(pModule)).first->second.get();
}

CWideString FormatMessageText(const CMessageModule* pModule, DWORD dwMessageId,
                              const wchar_t* const* ppszStrings, int nStrings, bool bCategory) {
  if (!pModule) return CWideString();
  HMODULE hModule = bCategory && pModule->GetCategoryModule() ? pModule->GetCategoryModule()
                                                               : pModule->GetEventModule();
  if (!hModule) return CWideString();

  try {
    DWORD_PTR aArguments[kMaxInserts];
    for (int i = 0; i < kMaxInserts; ++i) {
      const wchar_t* pszInsert = ppszStrings && i < nStrings ? ppszStrings[i] : nullptr;
      aArguments[i] = reinterpret_cast<DWORD_PTR>(pszInsert ? pszInsert : L"");
    }
    // The width mask keeps the message's own line breaks and adds none.
    const DWORD dwFlags = FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_MAX_WIDTH_MASK |
                          (ppszStrings ? FORMAT_MESSAGE_ARGUMENT_ARRAY : FORMAT_MESSAGE_IGNORE_INSERTS);
    DWORD cchBuffer = kTextGrowth;
    CWideBuffer buffer = AllocText(cchBuffer);
    for (;;) {
      const DWORD cch = FormatMessageW(dwFlags, hModule, dwMessageId, LANG_USER_DEFAULT, buffer.get(),
                                       cchBuffer - 1, reinterpret_cast<va_list*>(aArguments));
      if (cch) return cch < cchBuffer ? CWideString(buffer.get(), static_cast<int>(cch)) : CWideString();
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || cchBuffer >= kMaxTextLength) break;
      cchBuffer += kTextGrowth;
      buffer = AllocText(cchBuffer);
    }
    // A failed call leaves the buffer's text as the result (empty: null).
    buffer.get()[cchBuffer - 1] = L'\0';
    const int cchText = static_cast<int>(wcslen(buffer.get()));
    return cchText ? CWideString(buffer.get(), cchText) : CWideString();
  } catch (...) {
    return CWideString(L" ");
  }
}
