#pragma once
// A countdown that makes one allocation of the support library fail as the heap
// would (a null result), so that tests can walk every allocation of a workload and
// see each failure end in the library's out-of-memory throw with nothing left
// half-done. Unarmed, a check costs one load. Not thread-safe: armed by one thread
// around work on that thread.

namespace allocation_fault {

// Arms the countdown: the nth allocation checked from now on fails (n >= 1), and
// the count of checked allocations starts again at 0. 0 disarms.
void Arm(long nFailing) noexcept;
// Allocations checked since the last Arm; the failing one included.
long CountChecked() noexcept;
// True when the allocation about to be made is the one to fail; every allocation
// helper of the library asks this first.
bool ShouldFail() noexcept;

}  // namespace allocation_fault
