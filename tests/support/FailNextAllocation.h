// For tests of code that must survive an allocation that fails: while armed,
// the next allocation made on the arming thread throws std::bad_alloc (and a
// nothrow allocation returns null). Link vekt_fail_next_allocation, which
// replaces the global operator new of the test program.
#pragma once

namespace vekt::testsupport {
void failNextAllocation(bool armed = true);
bool nextAllocationFails();
}  // namespace vekt::testsupport
