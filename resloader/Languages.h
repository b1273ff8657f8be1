#pragma once
// The loader's language rules: three-letter codes and language ids, the user's
// interface language (with its override), and the module file that serves a
// language (its own folder, then its primary language's, then English).

#include <windows.h>

#include <string>
#include <vector>

namespace tqres {

constexpr LANGID kDefaultLanguage = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// Lower-case three-letter code of a language id ("enu"); empty when unknown.
std::wstring CodeForLanguage(LANGID langId);
// Language id of a code (any case); 0 when no locale has it.
LANGID LanguageForCode(const std::wstring& code);
// The language's own name ("Deutsch"); empty when unknown.
std::wstring NativeLanguageName(LANGID langId);

// The override code from the environment or HKCU ("" when none or unknown).
std::wstring LanguageOverride();
// The interface language: the override when it names a known language, else the user's.
LANGID GuiLanguage();

// A base name is a plain file name: no path, no drive, no "..", not empty.
bool IsPlainBaseName(const std::wstring& baseName);

// Full path of the loader DLL; empty when it can't be read (the last error says why).
std::wstring LoaderPath();
// Folder of the loader DLL without a trailing backslash.
std::wstring LoaderDirectory();
void SetLoaderModule(HMODULE hModule);

// The language whose folder under `directory` holds "<baseName>.dll" for `langId`,
// trying the language, its primary language, then English; 0 when none does.
LANGID ResolveLanguage(const std::wstring& directory, LANGID langId, const std::wstring& baseName);
std::wstring ModulePath(const std::wstring& directory, LANGID langId, const std::wstring& baseName);
// The languages (ordered by code) whose folder under `directory` holds the module.
std::vector<LANGID> InstalledLanguages(const std::wstring& directory, const std::wstring& baseName);

// Loads (once per process, never freed) the module at `path`. S_OK or the failure.
HRESULT LoadModuleOnce(const std::wstring& path, HMODULE& hModule);
// String resource `id` of a loaded module. S_OK, or a failure when it has none.
HRESULT LoadModuleString(HMODULE hModule, UINT id, std::wstring& text);

}  // namespace tqres
