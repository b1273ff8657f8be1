#pragma once
// The device page: one list row per driver device, refreshed twice a second
// from the driver's counters. The stream model's merge and the per-device item
// array belong to this class; both are defined in StreamModel.cpp and need no
// window, so they build and test on their own.

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <memory>
#include <vector>

#include "driver/DeviceAccess.h"
#include "driver/DriverProtocol.h"
#include "framework/ImageList.h"
#include "framework/ListCtrl.h"
#include "framework/PropertySheet.h"
#include "framework/String.h"
#include "stats/ItemData.h"
#include "stats/ListPage.h"

class CDevicePage : public CPropertyPage {
  DECLARE_DYNCREATE(CDevicePage)
public:
  CDevicePage();
  ~CDevicePage() override;

  // Merges one device's record-direction record `in` and playback-direction record
  // `out` into that device's item; an ended stream's final item is appended to
  // g_qEndedStreams. Uses no state of the page.
  static void UpdateItemData(const WaveCounters& in, const WaveCounters& out, ItemData& item);

  // One item per device (element n describes device n); sized when the page
  // initialises its dialog. Shared with the list's sort callback.
  static std::vector<ItemData> m_aItemData;

  // Where the page's device count and counters come from (the driver unless set);
  // set before the page's window is created. The page borrows it.
  void SetDeviceAccess(CDeviceAccess* pAccess) { m_pDeviceAccess = pAccess ? pAccess : &CDeviceAccess::Driver(); }

  // One refresh: both counter records of every device, the items merged, the
  // rows brought up to date, the list sorted, the timer started again.
  void RefreshDevices();
  // Marks the header of `column` and flips or sets the direction (the first
  // choice of a column is ascending, each repeat reverses).
  void SetSortColumn(int column);
  // The list's sort callback: a and b are device indexes, sortState a SortState*.
  static int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM sortState);

  const SortState& GetSortState() const { return m_sort; }
  int GetDeviceCount() const { return m_nDeviceCount; }
  // The number of list cells whose text the page has set (benchmarks read it).
  unsigned long long GetCellUpdateCount() const { return m_nCellUpdates; }

  CListCtrl m_listDevices;

protected:
  BOOL OnInitDialog() override;  // TRUE: the system sets the focus
  BOOL OnSetActive() override;   // FALSE when the base refuses the activation
  void DoDataExchange(CDataExchange* pDX) override;

  void OnTimer(UINT_PTR nIDEvent);
  void OnDetailsClicked();
  void OnColumnClick(NMHDR* pNotify, LRESULT* pResult);
  void OnEditCopy();
  void OnEditSelectAll();
  void OnListKeyDown(NMHDR* pNotify, LRESULT* pResult);
  // Sent on by the sheet: column widths and images follow the new DPI.
  LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

private:
  static constexpr int kColumns = 10;
  typedef std::array<CString, kColumns> RowTexts;

  // The texts of an item's row: the device (unless a row that has it is only
  // updated), the others while it runs.
  static RowTexts RowTextsOf(const ItemData& item, bool bWithDevice = true);
  // Inserts the row of `device` at `row` with image 0 (idle) or 1 (running).
  void InsertRow(int row, int image, int device, const RowTexts& texts);
  // Sets the row's cells; a cell whose text is already the same is left alone.
  void SetRowTexts(int row, int device, const RowTexts& texts);
  void SetCellText(int row, int device, int column, const wchar_t* text);
  // The row of `device` (its item data), or -1.
  int FindRow(int device);
  void ShowQueryFailure(int device, const wchar_t* pszKind, HRESULT hr);
  void SortList();
  // The header's sort marks and the rows' images at m_nDpi, handed to the list.
  void CreateImageLists();

  // The page owns its image lists; the list borrows them (LVS_SHAREIMAGELISTS).
  // Sizes at 96 DPI, scaled to m_nDpi.
  std::unique_ptr<CImageList> m_pHeaderImages;  // 16x16 sort arrows of the header
  std::unique_ptr<CImageList> m_pLargeImages;   // 32x32 row images
  std::unique_ptr<CImageList> m_pSmallImages;   // 16x16 row images
  UINT m_nDpi = kDesignDpi;

  std::array<CString, kColumns> m_strTitles;

  int m_nDeviceCount = 0;
  SortState m_sort;

  CDeviceAccess* m_pDeviceAccess;
  // What each device's row shows, so that unchanged cells cost no list call.
  std::vector<RowTexts> m_rowTexts;
  // Where each device's row was last seen (checked before use: sorting moves rows).
  std::vector<int> m_rowOfDevice;
  unsigned long long m_nCellUpdates = 0;
};
