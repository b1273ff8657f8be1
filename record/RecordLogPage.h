#pragma once
// The record log page: the history of ended streams. The page's place in the
// sheet, its template and its menu are here; recording comes with the history.

#include <windows.h>

#include "framework/PropertySheet.h"

class CRecordLogPage : public CPropertyPage {
  DECLARE_DYNCREATE(CRecordLogPage)
public:
  CRecordLogPage();
  ~CRecordLogPage() override = default;

protected:
  BOOL OnSetActive() override;  // FALSE when the base refuses the activation

  DECLARE_MESSAGE_MAP()
};
