#pragma once
// The device page. The stream model's merge and the per-device item array are
// declared here because they belong to the page's class; both are defined in
// StreamModel.cpp and need no window, so they build and test on their own.
// The page's window part (property page, list, timer) is added to this class.

#include <vector>

#include "driver/DriverProtocol.h"
#include "stats/ItemData.h"

class CDevicePage {
public:
  // Merges one device's record-direction record `in` and playback-direction record
  // `out` into that device's item; an ended stream's final item is appended to
  // g_qEndedStreams. Uses no state of the page.
  static void UpdateItemData(const WaveCounters& in, const WaveCounters& out, ItemData& item);

  // One item per device (element n describes device n); sized when the page
  // initialises its dialog. Shared with the list's sort callback.
  static std::vector<ItemData> m_aItemData;
};
