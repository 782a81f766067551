#pragma once
// The test program's global operator new can be armed to throw std::bad_alloc once, after a
// given number of allocations have succeeded.

// Arms the failure: `allowed` more allocations succeed, the next one throws. Negative: never.
void FailAllocationAfter(int allowed);
// Whether an armed failure has not fired yet; disarms it either way.
bool DisarmAllocationFailure();
