// The library's private heap. Allocation never returns null for a non-zero
// request: running out of memory raises "Not enough memory".
#pragma once

extern const char NotEnoughMemory[];

void* HeapAllocate(unsigned bytes);
// The block may move; its contents stay up to the smaller size.
void* HeapReallocate(void* block, unsigned bytes);
void HeapRelease(void* block);  // block must not be null
void HeapReleaseIfSet(void* block);

// Testing seams, for the library's own tests only.
// The next HeapAllocate or HeapReallocate behaves as if the system had
// refused the request (it raises for a non-zero byte count).
void FailNextAllocationForTesting();
// Whether the first allocation has created the heap yet.
bool HeapExistsForTesting();
