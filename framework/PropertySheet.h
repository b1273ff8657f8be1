#pragma once
// Property sheet and property pages over comctl32's PropertySheetW. The sheet is
// made modeless and run modally by the framework's own loop, which offers every
// message to the sheet first (PSM_ISDIALOGMESSAGE): comctl32's modal loop is bare
// IsDialogMessage under Wine, where Ctrl+Tab and Ctrl+PgDn would not turn the pages.
// A hidden page never keeps the focus: it follows the page shown.
// A page is a dialog whose procedure is the framework's: the page object travels
// in PROPSHEETPAGE::lParam and is tied to its window at WM_INITDIALOG. The sheet
// window is comctl32's own; the framework ties the sheet object to it in the
// sheet callback (PSCB_INITIALIZED) and subclasses it, so that the sheet's
// message map sees its messages first. Commands from menus and accelerators go
// to the sheet's map and, when the sheet has no entry for them, to the active
// page only; so a menu item that neither map takes is grayed when its menu opens.
// A sheet made resizable keeps its tab control, buttons and pages fitted to its
// size; each page keeps its own controls placed (m_anchors), and a page smaller
// than its controls need (a large DPI on a small screen) scrolls to the rest.

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <vector>

#include "framework/AnchorLayout.h"
#include "framework/Dialog.h"
#include "framework/Dpi.h"
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

  // A popup of the sheet's menu bar opens while the page is the active one, after
  // the sheet has grayed what nobody handles: the page may check its items.
  virtual void OnInitMenuPopup(HMENU hPopup);

  // A page neither ends nor cancels a dialog of its own.
  void OnOK() override;
  void OnCancel() override;

  // WM_SIZE places the controls of m_anchors and sets the scroll bars before the
  // message map sees it, and the page's own scroll bars scroll it; a page shown
  // or hidden has the sheet check where the focus is.
  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

  // Scrolls the page so that its child that is or holds hControl lies wholly in
  // the client area, as far as it fits; a window outside the page is ignored.
  void ScrollIntoView(HWND hControl);

  // The page's dialog procedure (PROPSHEETPAGE::pfnDlgProc).
  static INT_PTR CALLBACK PageDialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

protected:
  // The controls that follow the page's size; a page fills it in OnInitDialog,
  // while the page still has its template's size. Empty: nothing moves.
  CAnchorLayout m_anchors;

private:
  // Places the anchored controls for the client area; what then lies beyond it
  // (controls that keep their place, and the template's margin after them) is
  // reached through the scroll bars, shown only then.
  void FitContent();
  // The union of the children's rectangles, in client coordinates.
  RECT GetChildrenBounds() const;
  // Moves every child so that the content's point pt is at the client's top left.
  void ScrollContentTo(POINT pt);
  void OnScroll(int nBar, UINT nCode);

  bool m_bFirstSetActive = true;
  SIZE m_sizeMargin = {0, 0};   // the template's room right of and below its controls
  SIZE m_sizeContent = {0, 0};  // the controls and the margin, at least the client area
  POINT m_ptScroll = {0, 0};    // the content's point at the client's top left
  bool m_bFitting = false;      // within FitContent, whose scroll bars resize the page
};

class CPropertySheet : public CWnd {
  DECLARE_DYNAMIC(CPropertySheet)
public:
  CPropertySheet(const wchar_t* pszCaption, CWnd* pParentWnd = nullptr, UINT iSelectPage = 0);
  ~CPropertySheet() override = default;

  // The sheet's header; flags may be changed before DoModal.
  PROPSHEETHEADERW m_psh;
  // Window styles added to comctl32's sheet before it is created. With
  // WS_THICKFRAME the sheet can be resized: the tab control, the buttons and
  // every page that exists follow its size, and it never gets smaller than it
  // opened.
  DWORD m_dwExtraStyle = 0;

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

  // Runs the sheet modally, its owner disabled: positive when the sheet was closed
  // with OK (the PropertySheetW result), 0 otherwise, or -1 when it could not be
  // created. A WM_QUIT ends the sheet and is posted again for the loop outside.
  virtual INT_PTR DoModal();

  // A focus left in a hidden page, or on a hidden control of the sheet, moves to
  // the first tab stop of the page shown (the tab control when it has none): the
  // dialog manager's mnemonic search never returns from a hidden control under
  // Wine. Focus outside the sheet stays where it is.
  void KeepFocusInShownPage() const;

  // Called once the sheet window exists and has its size (PSCB_INITIALIZED),
  // before it is shown. The return value is kept for derived classes' use (the
  // sheet has already been initialised).
  virtual BOOL OnInitDialog();

  bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;

  // WM_ACTIVATE: the dialog manager gives back the focus the sheet had when it was
  // left, which may lie in a page hidden since.
  LRESULT OnActivate(WPARAM wParam, LPARAM lParam);
  // WM_SHOWWINDOW: the sheet's first showing is its design (size and layout); a
  // sheet larger than the work area of its monitor is shrunk and moved into it.
  LRESULT OnShowWindow(WPARAM wParam, LPARAM lParam);
  // WM_SIZE: a resizable sheet fits its controls and pages to the new size.
  void OnSize(UINT nType, int cx, int cy);
  // WM_GETMINMAXINFO: a resizable sheet is never smaller than it opened, nor
  // its minimum larger than the work area.
  LRESULT OnGetMinMaxInfo(WPARAM wParam, LPARAM lParam);
  // WM_DPICHANGED: every page that exists gets the message first (for what it
  // draws in pixels), then the sheet takes the rectangle the system suggests,
  // kept within the work area of that rectangle's monitor.
  LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
  // WM_NEXTDLGCTL, which the dialog manager sends for Tab and Shift+Tab: the
  // active page scrolls the control that got the focus into view.
  LRESULT OnNextDlgCtl(WPARAM wParam, LPARAM lParam);

protected:
  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  DECLARE_MESSAGE_MAP()

private:
  static int CALLBACK SheetCallback(HWND hWnd, UINT uMsg, LPARAM lParam);
  static LRESULT CALLBACK SheetSubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR uIdSubclass, DWORD_PTR dwRefData);
  void AttachSheet(HWND hWnd);
  // Pumps messages until comctl32 has ended the sheet, its window is gone or a
  // WM_QUIT comes; returns DoModal's result for the sheet.
  INT_PTR RunModalLoop(HWND hSheet);
  // Grays the popup's commands that neither the sheet nor the active page handles
  // and enables the others.
  void EnableMenuCommands(HMENU hPopup) const;
  // Puts every page that exists where comctl32 puts the active one: the tab
  // control's display area.
  void FitPagesToTab() const;
  bool IsResizable() const { return (GetStyle() & WS_THICKFRAME) != 0; }

  CString m_strCaption;
  CWnd* m_pParentWnd;
  std::vector<CPropertyPage*> m_pages;
  std::vector<PROPSHEETPAGEW> m_pageEntries;
  CAnchorLayout m_layout;    // the tab control and the buttons
  SIZE m_sizeOpen = {0, 0};  // the window's size when it first showed, at m_nOpenDpi; 0 before
  UINT m_nOpenDpi = kDesignDpi;
  UINT m_nDpi = kDesignDpi;
};
