#include "support/AllocationFault.h"

namespace allocation_fault {
namespace {

struct CCountdown {
  long nFailing = 0;
  long nChecked = 0;
};

CCountdown& Countdown() noexcept {
  static CCountdown s_countdown;
  return s_countdown;
}

}  // namespace

void Arm(long nFailing) noexcept {
  Countdown().nFailing = nFailing > 0 ? nFailing : 0;
  Countdown().nChecked = 0;
}

long CountChecked() noexcept { return Countdown().nChecked; }

bool ShouldFail() noexcept {
  CCountdown& countdown = Countdown();
  if (countdown.nFailing == 0) return false;
  return ++countdown.nChecked == countdown.nFailing;
}

}  // namespace allocation_fault
