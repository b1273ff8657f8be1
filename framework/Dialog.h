#pragma once
// CDialog: a modal dialog built from a template of the current resource handle.
// The framework's dialog procedure ties the object to its window at
// WM_INITDIALOG (the object's address is the creation parameter), sends every
// message through the message map and alone writes the dialog's message
// results (DWLP_MSGRESULT).

#include <windows.h>

#include "framework/DataExchange.h"
#include "framework/MessageMap.h"
#include "framework/Window.h"

class CDialog : public CWnd {
  DECLARE_DYNAMIC(CDialog)
public:
  explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
  ~CDialog() override = default;

  // Runs the dialog modally. Returns the value given to EndDialog (IDOK, IDCANCEL,
  // ...), or -1 when the dialog could not be created (no such template).
  virtual INT_PTR DoModal();

  // WM_INITDIALOG. The base exchanges data towards the controls. Returns TRUE to
  // let the system focus the first control, FALSE when the handler set the focus.
  virtual BOOL OnInitDialog();
  // The OK button: exchanges data from the controls and, when that succeeds, ends
  // the dialog with IDOK.
  virtual void OnOK();
  // The Cancel button or Escape: ends the dialog with IDCANCEL.
  virtual void OnCancel();

  // Exchanges every member of DoDataExchange. TRUE: controls -> members (with
  // validation), FALSE: members -> controls. Returns FALSE when the exchange failed.
  BOOL UpdateData(BOOL bSaveAndValidate = TRUE);
  virtual void DoDataExchange(CDataExchange* pDX);

  void EndDialog(int nResult) const { ::EndDialog(m_hWnd, nResult); }

  UINT m_nIDTemplate;
  CWnd* m_pParentWnd;

protected:
  // The dialog procedure of modal dialogs (the creation parameter is the object).
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
  // Ties the object to its dialog window (also in the dialog's DWLP_USER slot,
  // which the dialog procedures read on every message), and finds it again.
  void AttachDialog(HWND hWnd);
  static CDialog* FromDialogHandle(HWND hWnd);
  // One message of a window already tied to this object; the dialog procedure's
  // result (TRUE = handled, results set through DWLP_MSGRESULT).
  INT_PTR HandleDialogMessage(UINT message, WPARAM wParam, LPARAM lParam);
  // For a dialog the default processing is the dialog manager's: returning
  // "not handled" from the dialog procedure.
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  DECLARE_MESSAGE_MAP()
};
