#include "resloader/Languages.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <mutex>

#include "resloader/TqResLoader.h"
#include "support/UniqueHandle.h"
#include "support/Win32Result.h"

namespace tqres {
namespace {

HMODULE g_hLoaderModule = nullptr;

std::wstring ToLower(std::wstring text) {
  for (wchar_t& ch : text) ch = static_cast<wchar_t>(std::towlower(ch));
  return text;
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

struct CodeSearch {
  std::wstring code;
  LANGID found = 0;
};

BOOL CALLBACK MatchLocaleCode(LPWSTR pszName, DWORD, LPARAM lParam) {
  auto* search = reinterpret_cast<CodeSearch*>(lParam);
  wchar_t abbreviation[16] = {};
  if (GetLocaleInfoEx(pszName, LOCALE_SABBREVLANGNAME, abbreviation, 16) > 0 &&
      ToLower(abbreviation) == search->code) {
    const LCID lcid = LocaleNameToLCID(pszName, 0);
    if (lcid != 0) {
      search->found = LANGIDFROMLCID(lcid);
      return FALSE;
    }
  }
  return TRUE;
}

std::mutex& ModuleCacheLock() {
  static std::mutex s_lock;
  return s_lock;
}

// Modules stay loaded for the life of the process: programs keep using the handle.
std::map<std::wstring, HMODULE>& ModuleCache() {
  static auto* s_cache = new std::map<std::wstring, HMODULE>();
  return *s_cache;
}

}  // namespace

std::wstring CodeForLanguage(LANGID langId) {
  if (langId == 0) return std::wstring();
  wchar_t abbreviation[16] = {};
  if (GetLocaleInfoW(MAKELCID(langId, SORT_DEFAULT), LOCALE_SABBREVLANGNAME, abbreviation, 16) <= 0) {
    return std::wstring();
  }
  return ToLower(abbreviation);
}

LANGID LanguageForCode(const std::wstring& code) {
  if (code.size() != 3) return 0;
  CodeSearch search;
  search.code = ToLower(code);
  // The two languages shipped are answered without walking every locale.
  if (search.code == L"enu") return kDefaultLanguage;
  if (search.code == L"deu") return MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN);
  EnumSystemLocalesEx(MatchLocaleCode, LOCALE_WINDOWS, reinterpret_cast<LPARAM>(&search), nullptr);
  return search.found;
}

std::wstring NativeLanguageName(LANGID langId) {
  wchar_t name[128] = {};
  if (langId == 0 || GetLocaleInfoW(MAKELCID(langId, SORT_DEFAULT), LOCALE_SNATIVELANGNAME, name, 128) <= 0) {
    return std::wstring();
  }
  return name;
}

std::wstring LanguageOverride() {
  wchar_t code[16] = {};
  const DWORD length = GetEnvironmentVariableW(TQRESLOADER_LANGUAGE_ENV, code, 16);
  if (length > 0 && length < 16 && LanguageForCode(code) != 0) return ToLower(code);

  CKeyHandle key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, TQRESLOADER_LANGUAGE_KEY, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS) {
    DWORD type = 0;
    DWORD size = sizeof(code) - sizeof(wchar_t);  // keeps a NUL behind whatever is read
    std::fill(std::begin(code), std::end(code), L'\0');
    if (RegQueryValueExW(key.Get(), TQRESLOADER_LANGUAGE_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(code),
                         &size) == ERROR_SUCCESS &&
        type == REG_SZ && LanguageForCode(code) != 0) {
      return ToLower(code);
    }
  }
  return std::wstring();
}

LANGID GuiLanguage() {
  const std::wstring override = LanguageOverride();
  if (!override.empty()) return LanguageForCode(override);
  const LANGID user = GetUserDefaultUILanguage();
  return user != 0 ? user : kDefaultLanguage;
}

bool IsPlainBaseName(const std::wstring& baseName) {
  if (baseName.empty() || baseName.size() > MAX_PATH) return false;
  if (baseName.find_first_of(L"\\/:*?\"<>|") != std::wstring::npos) return false;
  return baseName.find(L"..") == std::wstring::npos;
}

void SetLoaderModule(HMODULE hModule) { g_hLoaderModule = hModule; }

std::wstring LoaderPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(g_hLoaderModule, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // cut short: the length is the buffer's
  }
}

std::wstring LoaderDirectory() {
  const std::wstring path = LoaderPath();
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

static std::wstring ModulePathIn(const std::wstring& directory, const std::wstring& code, const std::wstring& baseName) {
  return directory + L"\\" + code + L"\\" + baseName + L".dll";
}

LANGID ResolveLanguage(const std::wstring& directory, LANGID langId, const std::wstring& baseName) {
  const LANGID candidates[] = {langId, MAKELANGID(PRIMARYLANGID(langId), SUBLANG_DEFAULT), kDefaultLanguage};
  for (LANGID candidate : candidates) {
    const std::wstring code = CodeForLanguage(candidate);
    if (!code.empty() && FileExists(ModulePathIn(directory, code, baseName))) return candidate;
  }
  return 0;
}

std::wstring ModulePath(const std::wstring& directory, LANGID langId, const std::wstring& baseName) {
  const LANGID resolved = ResolveLanguage(directory, langId, baseName);
  return resolved == 0 ? std::wstring() : ModulePathIn(directory, CodeForLanguage(resolved), baseName);
}

std::vector<LANGID> InstalledLanguages(const std::wstring& directory, const std::wstring& baseName) {
  std::vector<std::pair<std::wstring, LANGID>> found;
  WIN32_FIND_DATAW data;
  CFindHandle find(FindFirstFileW((directory + L"\\*").c_str(), &data));
  if (find) {
    do {
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) continue;
      const std::wstring code = ToLower(data.cFileName);
      if (code.size() != 3 || !FileExists(ModulePathIn(directory, code, baseName))) continue;
      const LANGID langId = LanguageForCode(code);
      if (langId != 0) found.emplace_back(code, langId);
    } while (FindNextFileW(find.Get(), &data));
  }
  std::sort(found.begin(), found.end());
  std::vector<LANGID> languages;
  for (const auto& entry : found) languages.push_back(entry.second);
  return languages;
}

HRESULT LoadModuleOnce(const std::wstring& path, HMODULE& hModule) {
  std::lock_guard<std::mutex> lock(ModuleCacheLock());
  auto& cache = ModuleCache();
  const auto it = cache.find(ToLower(path));
  if (it != cache.end()) {
    hModule = it->second;
    return S_OK;
  }
  // The module holds resources only; it is mapped as an image so that dialogs,
  // menus and icons can be created from its handle like from any module's.
  HMODULE hLoaded = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (hLoaded == nullptr) return HResultFromError(GetLastError());
  cache.emplace(ToLower(path), hLoaded);
  hModule = hLoaded;
  return S_OK;
}

HRESULT LoadModuleString(HMODULE hModule, UINT id, std::wstring& text) {
  text.clear();
  if (id > 0xFFFF) return E_INVALIDARG;
  // Strings are kept in blocks of 16 counted texts; block n + 1 holds ids 16n to 16n + 15.
  HRSRC hInfo = FindResourceW(hModule, MAKEINTRESOURCEW((id >> 4) + 1), RT_STRING);
  if (hInfo == nullptr) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
  HGLOBAL hData = LoadResource(hModule, hInfo);
  const DWORD size = SizeofResource(hModule, hInfo);
  const WCHAR* p = hData ? static_cast<const WCHAR*>(LockResource(hData)) : nullptr;
  if (p == nullptr) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  const WCHAR* end = p + size / sizeof(WCHAR);
  for (UINT i = 0; i < (id & 15) && p < end; ++i) p += 1 + *p;
  if (p >= end || *p == 0 || p + 1 + *p > end) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
  text.assign(p + 1, *p);
  return S_OK;
}

}  // namespace tqres
