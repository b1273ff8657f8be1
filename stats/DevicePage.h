#pragma once
// The device page: one list row per driver device, refreshed twice a second
// from the driver's counters. Rows take their texts on demand from the items
// (only rows on screen are formatted), and a refresh repaints just the rows
// that show something new. The merge and the sweep over the devices are the
// stream model's (StreamModel.h); the page keeps the items and shows them.

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
#include "stats/StreamModel.h"

class CDevicePage : public CPropertyPage {
  DECLARE_DYNCREATE(CDevicePage)
public:
  CDevicePage();
  ~CDevicePage() override;

  // The stream model's merge (MergeStreamRecords) at the current time, an ended
  // stream appended to g_qEndedStreams. Uses no state of the page.
  static void UpdateItemData(const WaveCounters& in, const WaveCounters& out, ItemData& item,
                             const MergeHints& hints = MergeHints());

  // One item per device (element n describes device n); sized when the page
  // initialises its dialog. Shared with the list's sort callback.
  static std::vector<ItemData> m_aItemData;

  // Where the page's device count and counters come from (the driver unless set);
  // set before the page's window is created. The page borrows it.
  void SetDeviceAccess(CDeviceAccess* pAccess) { m_sweep.SetDeviceAccess(pAccess); }

  // One refresh: a sweep of the devices into the items, the rows that show
  // something new repainted, the list sorted, at most one message for the
  // devices that stopped answering, the timer started again.
  void RefreshDevices();
  // Marks the header of `column` and flips or sets the direction (the first
  // choice of a column is ascending, each repeat reverses).
  void SetSortColumn(int column);
  // The list's sort callback: a and b are device indexes, sortState a SortState*.
  static int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM sortState);

  const SortState& GetSortState() const { return m_sort; }
  int GetDeviceCount() const { return m_nDeviceCount; }

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
  // A cell's text, asked for when the list draws or reads it.
  void OnGetDispInfo(NMHDR* pNotify, LRESULT* pResult);
  // The no-devices text on the list's background; 0 (the default colours) for
  // every other control.
  LRESULT OnCtlColorStatic(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

private:
  static constexpr int kColumns = 10;
  // Follows a refresh's sweep device by device and updates their rows.
  class CRowUpdater;

  // The text of one cell, as the row of `device` shows it now.
  CString CellText(int device, int column) const;
  // Inserts the row of `device` at `row`; its texts and image come on demand.
  void InsertRow(int row, int device);
  // The image of the row of `device`: 0 idle, 1 running, 2 not answering.
  int RowImage(int device) const;
  // The device a row holds; false when there is no such row (item data alone
  // cannot tell: a missing row reads as 0, which is device 0).
  bool GetRowDevice(int row, int& device) const;
  // The row of `device`, or -1.
  int FindRow(int device);
  // Reads every row's device back from the list (after the list moved rows).
  void ReadBackRowOrder();
  // Sorts the list unless its rows are in order already (a sort repaints the
  // whole list).
  void SortList();
  // The header's sort marks and the rows' images at m_nDpi, handed to the list.
  void CreateImageLists();
  // Repaints the rows of `devices` that are on screen; the others are drawn
  // whenever they come into view.
  void RedrawRowsOf(const std::vector<int>& devices);
  // The first device that failed anew, and how many failed.
  void ShowQueryFailures(const SweepSummary& summary);
  void ShowNoDevicesText();

  // The page owns its image lists; the list borrows them (LVS_SHAREIMAGELISTS).
  // Sizes at 96 DPI, scaled to m_nDpi.
  std::unique_ptr<CImageList> m_pHeaderImages;  // 16x16 sort arrows of the header
  std::unique_ptr<CImageList> m_pLargeImages;   // 32x32 row images
  std::unique_ptr<CImageList> m_pSmallImages;   // 16x16 row images
  UINT m_nDpi = kDesignDpi;

  std::array<CString, kColumns> m_strTitles;

  int m_nDeviceCount = 0;
  SortState m_sort;

  // Over m_aItemData into g_qEndedStreams; knows which devices answer.
  CStreamSweep m_sweep;
  // Where each device's row was last seen, and which device each row holds; both
  // are checked before use (rows can move without the page).
  std::vector<int> m_rowOfDevice;
  std::vector<int> m_deviceOfRow;
  bool m_bRowOrderKnown = true;  // false: m_deviceOfRow is to be read back
  // Devices whose rows show something new in this refresh, and their rows on screen.
  std::vector<int> m_changedDevices;
  std::vector<int> m_redrawRows;
  // A cell's text handed to the list (the list copies it before the next request).
  CString m_strDispText;
};
