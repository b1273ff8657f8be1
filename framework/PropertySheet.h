#pragma once
// Property sheet and property pages over comctl32's PropertySheetW, run modally.
// A page is a dialog whose procedure is the framework's: the page object travels
// in PROPSHEETPAGE::lParam and is tied to its window at WM_INITDIALOG. The sheet
// window is comctl32's own; the framework ties the sheet object to it in the
// sheet callback (PSCB_INITIALIZED) and subclasses it, so that the sheet's
// message map sees its messages first. Commands from menus and accelerators go
// to the sheet's map and, when the sheet has no entry for them, to the active
// page only; so a menu item that neither map takes is grayed when its menu opens.

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "framework/Dialog.h"
#include "framework/MessageMap.h"
#include "framework/String.h"
#include "framework/Window.h"

class CPropertySheet;

class CPropertyPage : public CDialog {
  DECLARE_DYNAMIC(CPropertyPage)
public:
  // The page's caption is its template's.
  explicit CPropertyPage(UINT nIDTemplate);
  ~CPropertyPage() override = default;

  // The page's entry in the sheet; flags may be changed before the sheet is shown.
  PROPSHEETPAGEW m_psp;

  // PSN_SETACTIVE. TRUE = the page may become the active page, FALSE = refuse.
  // The base exchanges data towards the controls on every activation but the first.
  virtual BOOL OnSetActive();
  // PSN_KILLACTIVE. TRUE = the page may be left; the base exchanges data from the
  // controls and returns FALSE when that fails.
  virtual BOOL OnKillActive();
  // PSN_APPLY. TRUE = the changes are accepted, FALSE = stay on the page.
  virtual BOOL OnApply();
  // PSN_RESET: the sheet is being cancelled.
  virtual void OnReset();
  // PSN_QUERYCANCEL. TRUE = the sheet may be cancelled.
  virtual BOOL OnQueryCancel();

  // A page neither ends nor cancels a dialog of its own.
  void OnOK() override;
  void OnCancel() override;

  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

  // The page's dialog procedure (PROPSHEETPAGE::pfnDlgProc).
  static INT_PTR CALLBACK PageDialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

private:
  bool m_bFirstSetActive = true;
};

class CPropertySheet : public CWnd {
  DECLARE_DYNAMIC(CPropertySheet)
public:
  CPropertySheet(const wchar_t* pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  ~CPropertySheet() override = default;

  // The sheet's header; flags may be changed before DoModal.
  PROPSHEETHEADERW m_psh;

  // Pages are borrowed: they must outlive the sheet's window.
  void AddPage(CPropertyPage* pPage);
  int GetPageCount() const { return static_cast<int>(m_pages.size()); }
  CPropertyPage* GetPage(int nPage) const;
  // Before the sheet runs: the page shown first. While it runs: selects the page
  // (which may refuse). Returns FALSE for an index out of range or a refusal.
  BOOL SetActivePage(int nPage);
  int GetActiveIndex() const;
  CPropertyPage* GetActivePage() const;
  HWND GetTabControl() const { return reinterpret_cast<HWND>(SendMessage(PSM_GETTABCONTROL)); }

  // Runs the sheet modally: the PropertySheetW result (positive when the sheet was
  // closed with OK, 0 otherwise), or -1 when it could not be created.
  virtual INT_PTR DoModal();

  // Called once the sheet window and its first page exist. The return value is
  // kept for derived classes' use (the sheet has already been initialised).
  virtual BOOL OnInitDialog();

  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

protected:
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
  static int CALLBACK SheetCallback(HWND hWnd, UINT uMsg, LPARAM lParam);
  static LRESULT CALLBACK SheetSubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR uIdSubclass, DWORD_PTR dwRefData);
  void AttachSheet(HWND hWnd);
  // Grays the popup's commands that neither the sheet nor the active page handles
  // and enables the others.
  void EnableMenuCommands(HMENU hPopup) const;

  CString m_strCaption;
  CWnd* m_pParentWnd;
  std::vector<CPropertyPage*> m_pages;
  std::vector<PROPSHEETPAGEW> m_pageEntries;
};
