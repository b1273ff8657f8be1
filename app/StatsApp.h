#pragma once
// The application object: start-up (COM, the resource module through the
// resource loader), the modal main sheet, and shut-down.

#include <windows.h>

#include "framework/App.h"
#include "support/WideString.h"

class CStatsApp : public CWinApp {
public:
  CStatsApp();
  // Uninitialises COM when start-up initialised it.
  ~CStatsApp() override;

  // COM in the multithreaded apartment, then the resource module. Zero ends the
  // program (the failure has been shown).
  BOOL InitApplication() override;
  // Runs the main sheet modally; always zero, so the program ends when it closes.
  BOOL InitInstance() override;

  // Locates the resource module through the loader and makes it the source of
  // every later resource load. Nonzero on success; zero after showing the failure.
  BOOL LoadResourceModule();

  // The interface language's code, lower case ("enu" when none is reported).
  const CWideString& GetLanguage() const { return m_strLanguage; }

private:
  CWideString m_strLanguage;
  bool m_bComInitialized = false;

  DECLARE_MESSAGE_MAP()
};
