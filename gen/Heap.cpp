#include "gen/Heap.h"

#include <windows.h>

#include <cstddef>
#include <new>

#include "gen/Err.h"

const char NotEnoughMemory[] = "Not enough memory";

namespace {

const unsigned kImpossibleRequest = 0xFFFFFFFFu;

// Created by the first allocation and never destroyed: blocks stay valid
// until the process ends, static destructors included. Zero-initialised
// before any constructor runs, so allocating during static start-up works.
HANDLE privateHeap;
bool failNext;

// The system's answer, or null when a test asked for a refusal.
bool ConsumeFailure() {
    bool fail = failNext;
    failNext = false;
    return fail;
}

// Refused before the heap is touched: the size arithmetic of callers
// saturates at this value, and no real request can be this large.
bool RefusedAsImpossible(unsigned bytes) {
    if (bytes != kImpossibleRequest) return false;
    RaiseError(NotEnoughMemory);
    return true;
}

void* CheckedResult(void* block, unsigned bytes) {
    if (!block && bytes != 0) RaiseError(NotEnoughMemory);
    return block;
}

}  // namespace

void* HeapAllocate(unsigned bytes) {
    if (RefusedAsImpossible(bytes)) return nullptr;
    if (!privateHeap) {
        // Not executable: nothing runs code from this heap, and executable
        // heap memory would hand a corruption bug code to jump to.
        HANDLE heap = HeapCreate(0, 0, 0);
        if (!heap) {
            RaiseError(NotEnoughMemory);
            return nullptr;
        }
        // A damaged heap ends the process instead of running on.
        HeapSetInformation(heap, HeapEnableTerminationOnCorruption, nullptr, 0);
        privateHeap = heap;
    }
    void* block = ConsumeFailure() ? nullptr : HeapAlloc(privateHeap, 0, bytes);
    return CheckedResult(block, bytes);
}

void* HeapReallocate(void* block, unsigned bytes) {
    if (RefusedAsImpossible(bytes)) return nullptr;
    void* moved = ConsumeFailure() ? nullptr : HeapReAlloc(privateHeap, 0, block, bytes);
    return CheckedResult(moved, bytes);
}

void HeapRelease(void* block) { HeapFree(privateHeap, 0, block); }

void HeapReleaseIfSet(void* block) {
    if (block) HeapRelease(block);
}

void FailNextAllocationForTesting() { failNext = true; }

bool HeapExistsForTesting() { return privateHeap != nullptr; }

// The C++ runtime's allocation and release operators, replaced program-wide
// so that every object, the runtime's own included, lives on the private heap.
//   Allocation forwarders: new, new[] and their nothrow forms call
//   HeapAllocate. A size beyond 32 bits (64-bit builds) is the impossible
//   request; a zero size asks for one byte, as C++ wants a distinct pointer.
//   Release forwarders: delete and delete[] (plain, sized and nothrow) call
//   HeapReleaseIfSet, as C++ lets them receive null.
//   The two that do nothing are the placement deletes, and the one that
//   returns 0 is the new-handler query: the standard library supplies both
//   and forbids replacing them, and neither is needed, as running out of
//   memory raises instead of calling a handler.
// The over-aligned forms are left to the runtime, which pairs them itself.
namespace {

unsigned RequestSize(std::size_t size) {
    if (size >= kImpossibleRequest) return kImpossibleRequest;
    return size == 0 ? 1u : static_cast<unsigned>(size);
}

void* AllocateOrThrow(std::size_t size) {
    void* block = HeapAllocate(RequestSize(size));
    // Only when the raise came back (a developer continued in the debugger):
    // C++ callers may not see null from these operators.
    if (!block) throw std::bad_alloc();
    return block;
}

void* AllocateOrNull(std::size_t size) noexcept {
    try {
        return HeapAllocate(RequestSize(size));
    } catch (...) {
        // The raise was thrown to a protected scope: nothrow callers get null.
        return nullptr;
    }
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return AllocateOrNull(size);
}

void operator delete(void* block) noexcept { HeapReleaseIfSet(block); }
void operator delete[](void* block) noexcept { HeapReleaseIfSet(block); }
void operator delete(void* block, std::size_t) noexcept { HeapReleaseIfSet(block); }
void operator delete[](void* block, std::size_t) noexcept { HeapReleaseIfSet(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { HeapReleaseIfSet(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { HeapReleaseIfSet(block); }
