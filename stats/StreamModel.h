#pragma once
// The stream model: how a device's two counter records become its stream item
// and, once over, an ended stream; and the sweep that asks every device for
// them. Needs no window, so the device page and the recorder service share it.

#include <windows.h>

#include <vector>

#include "driver/DeviceAccess.h"
#include "driver/DriverProtocol.h"
#include "framework/Time.h"
#include "stats/ItemData.h"

// Merges one device's record-direction record `in` and playback-direction record
// `out`, read at `now`, into that device's item; an ended stream's final item is
// appended to `ended`. A running stream whose remote address or port, local port
// or codec changed, or whose packet count or counter went down, was followed by
// another call between two sweeps: it ends at its last sighting and the new one
// starts now.
void MergeStreamRecords(const WaveCounters& in, const WaveCounters& out, ItemData& item, const MergeHints& hints,
                        const CTime& now, CEndedStreamQueue& ended);

// What one sweep found on one device.
struct DeviceSweepResult {
  int nDevice = -1;
  HRESULT hr = S_OK;                  // the failed request's code; S_OK when both answered
  HRESULT hrPrevious = S_OK;          // the same of the sweep before
  const wchar_t* pszKind = nullptr;   // the failed request, "WaveInCounters" or "WaveOutCounters"

  bool Failed() const { return FAILED(hr); }
  // Answering or not, the device changed sides since the sweep before.
  bool AnswerChanged() const { return FAILED(hr) != FAILED(hrPrevious); }
  // A failure worth telling: the device answered, or failed otherwise, the sweep before.
  bool IsNewFailure() const { return FAILED(hr) && hr != hrPrevious; }
};

// Told of every device in turn as a sweep goes.
class CSweepObserver {
public:
  // `before` and `after` are the device's item around the merge (the same for a
  // device that failed: its item keeps its last values). FALSE stops the sweep
  // here; the devices after it are not asked.
  virtual bool OnDeviceSwept(const DeviceSweepResult& result, const ItemData& before, const ItemData& after) = 0;

protected:
  ~CSweepObserver() = default;
};

struct SweepSummary {
  int nFailed = 0;                    // devices whose requests failed
  DeviceSweepResult firstNewFailure;  // nDevice -1 when no device failed anew
  bool bStopped = false;              // the observer stopped the sweep
};

// One sweep asks every device for its record-direction record, then (when that
// answered) its playback-direction record, each a complete open, request, close;
// keeps per device whether it answered, and merges the records of the devices
// that did into their items. A device that does not answer keeps its item: a
// stream found over once it answers again ended at its last sighting. Counters
// reset through the access since the last sweep start their counts again
// without a new call.
class CStreamSweep {
public:
  // The sweep borrows the items and the queue; both outlive it.
  CStreamSweep(std::vector<ItemData>& items, CEndedStreamQueue& ended)
      : m_items(items), m_ended(ended), m_pAccess(&CDeviceAccess::Driver()) {}
  CStreamSweep(const CStreamSweep&) = delete;
  CStreamSweep& operator=(const CStreamSweep&) = delete;

  // Where the records come from (the driver unless set); borrowed.
  void SetDeviceAccess(CDeviceAccess* pAccess) { m_pAccess = pAccess ? pAccess : &CDeviceAccess::Driver(); }
  CDeviceAccess& GetDeviceAccess() const { return *m_pAccess; }

  // Sweeps nDevices devices from now on, every one taken as answering. Items
  // that exist are kept (a running stream goes on); new ones are idle. Negative
  // counts as 0.
  void SetDeviceCount(int nDevices);
  int GetDeviceCount() const { return static_cast<int>(m_failures.size()); }
  // The device's failed request code of the last sweep; S_OK while it answers,
  // and for a device that is not swept.
  HRESULT GetFailure(int nDevice) const;

  // One sweep at `now`, the time the merged items carry.
  SweepSummary Sweep(const CTime& now, CSweepObserver* pObserver = nullptr);

private:
  std::vector<ItemData>& m_items;
  CEndedStreamQueue& m_ended;
  CDeviceAccess* m_pAccess;
  // The access's reset count at the last sweep.
  unsigned int m_nResetsSeen = 0;
  // Per device, the code of its request that failed in the last sweep; S_OK while it answers.
  std::vector<HRESULT> m_failures;
};
