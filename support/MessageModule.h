#pragma once
// The message files of event sources. CMessageModule holds the event and category
// message modules that one source has registered (or one module file named
// directly); CMessageModuleCache loads each name once and keeps its modules until
// the cache goes. Missing registrations leave the modules null; they are never errors.

#include <windows.h>

#include <map>
#include <memory>

#include "support/UniqueHandle.h"
#include "support/WideString.h"

struct CModuleHandleTraits {
  using Handle = HMODULE;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle handle) noexcept { return handle != nullptr; }
  static void Close(Handle handle) noexcept { FreeLibrary(handle); }
};
using CModuleHandle = CUniqueHandle<CModuleHandleTraits>;

class CMessageModule {
public:
  CMessageModule() = default;
  CMessageModule(const CMessageModule&) = delete;
  CMessageModule& operator=(const CMessageModule&) = delete;

  // A name without '.' is an event source of the Application log: its message files
  // come from HKLM\System\CurrentControlSet\Services\EventLog\Application\<name>
  // (EventMessageFile, CategoryMessageFile; %NAME% references expanded). A name
  // with '.' is itself a module file. Loads only once.
  void Load(const wchar_t* pszName);
  void Unload() noexcept;

  // Kept once the event module is loaded.
  const CWideString& GetName() const noexcept { return m_strName; }
  HMODULE GetEventModule() const noexcept { return m_hEventModule.Get(); }
  // Null also when the category file is the event file: use the event module then.
  HMODULE GetCategoryModule() const noexcept { return m_hCategoryModule.Get(); }

private:
  bool m_bLoadTried = false;
  CWideString m_strName;
  CModuleHandle m_hEventModule;
  CModuleHandle m_hCategoryModule;
};

class CMessageModuleCache {
public:
  CMessageModuleCache() = default;
  CMessageModuleCache(const CMessageModuleCache&) = delete;
  CMessageModuleCache& operator=(const CMessageModuleCache&) = delete;

  // The entry of pszName (compared ordinally), made and loaded on first use; kept
  // even when nothing could be loaded. Null only for a null name.
  CMessageModule* Lookup(const wchar_t* pszName);
  size_t GetCount() const noexcept { return m_entries.size(); }

private:
  struct OrdinalLess {
    bool operator()(const CWideString& left, const CWideString& right) const noexcept;
  };
  std::map<CWideString, std::unique_ptr<CMessageModule>, OrdinalLess> m_entries;
};

// The text of message dwMessageId from pModule's event module (or its category module
// when bCategory and one is loaded), formatted with nStrings inserts (ppszStrings
// null: inserts left as they stand). Hard line breaks of the message are kept and no
// others made. Null when there is no module or no such message. Inserts that the
// message names beyond the strings given read as empty texts. A failure while the
// text is made (an allocation) gives a single blank " ".
CWideString FormatMessageText(const CMessageModule* pModule, DWORD dwMessageId,
                              const wchar_t* const* ppszStrings, int nStrings, bool bCategory = false);

// The message modules of every source whose records were read; kept until the
// process ends. Defined with the library's other static objects in EventLogStatics.cpp.
extern CMessageModuleCache g_moduleCache;
