#pragma once
// The device page: one list row per driver device, refreshed twice a second
// from the driver's counters. Rows take their texts on demand from the items
// (only rows on screen are formatted), and a refresh repaints just the rows
// that show something new. The merge and the sweep over the devices are the
// stream model's (StreamModel.h); the page keeps the items and shows them.

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <vector>

#include "driver/DeviceAccess.h"
#include "driver/DriverProtocol.h"
#include "framework/ImageList.h"
#include "framework/ListCtrl.h"
#include "framework/String.h"
#include "stats/ItemData.h"
#include "stats/ListPage.h"
#include "stats/StreamModel.h"

class CDevicePage : public CListPage {
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
  // something new repainted (a row keeps its selection when its stream starts or
  // ends), the list sorted, at most one message for the devices that stopped
  // answering. False when a device's row is lost: the refresh stops for good.
  bool RefreshDevices();
  // The list's sort callback: a and b are device indexes, sortState a SortState*.
  static int CALLBACK CompareItems(LPARAM a, LPARAM b, LPARAM sortState);

  int GetDeviceCount() const { return m_nDeviceCount; }

  // The list (the base's), by the page's name for it.
  CListCtrl& m_listDevices = m_list;

protected:
  BOOL OnInitDialog() override;  // TRUE: the system sets the focus
  BOOL OnSetActive() override;   // FALSE when the base refuses the activation

  const ItemData* RowItem(LPARAM key) const override;
  // An idle device shows its number alone; one that does not answer says so.
  CString CellText(LPARAM key, int column) const override;
  // 0 idle, 1 running, 2 not answering.
  int RowImage(LPARAM key) const override;
  void GetAllRows(std::vector<LPARAM>& keys) const override;
  bool Refresh() override { return RefreshDevices(); }
  void CreateRowImages() override;

  void OnDetailsClicked();
  // The no-devices text on the list's background; 0 (the default colours) for
  // every other control.
  LRESULT OnCtlColorStatic(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

private:
  // Follows a refresh's sweep device by device and notes the rows to update.
  class CRowUpdater;

  // Where each device's row is now (-1: not shown), from the base's rows.
  void IndexRows();
  // Repaints the rows of `devices` that are on screen; the others are drawn
  // whenever they come into view.
  void RedrawRowsOf(const std::vector<int>& devices);
  // The first device that failed anew, and how many failed.
  void ShowQueryFailures(const SweepSummary& summary);
  void ShowNoDevicesText();

  // The page owns its row images; the list borrows them (LVS_SHAREIMAGELISTS).
  // Sizes at 96 DPI, scaled to m_nDpi.
  std::unique_ptr<CImageList> m_pLargeImages;  // 32x32 row images
  std::unique_ptr<CImageList> m_pSmallImages;  // 16x16 row images

  int m_nDeviceCount = 0;

  // Over m_aItemData into g_qEndedStreams; knows which devices answer.
  CStreamSweep m_sweep;
  std::vector<int> m_rowOfDevice;
  // Devices whose rows show something new in this refresh, and their rows on screen.
  std::vector<int> m_changedDevices;
  std::vector<int> m_redrawRows;
};
