// Private heaps over the C allocator: every block is a block of malloc, so the
// sanitizers see each one as they see any other (bounds, use after free,
// leaks). A heap is an identity only; blocks are not tied to it. Only
// growable heaps (maximum size 0) are modelled, and no heap is ever
// destroyed, as the library never destroys its own.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

struct CompatHeap {
    DWORD options;
};

// Static, not allocated: heaps are created during static start-up, and by
// the very allocator that operator new forwards to.
const unsigned kHeapCount = 64;
CompatHeap heaps[kHeapCount];
std::atomic<unsigned> heapsCreated{0};

bool IsHeap(HANDLE heap) {
    unsigned created = heapsCreated.load();
    for (unsigned index = 0; index < created && index < kHeapCount; ++index) {
        if (heap == &heaps[index]) return true;
    }
    return false;
}

bool Refuse(DWORD code) {
    SetLastError(code);
    return false;
}

}  // namespace

extern "C" {

HANDLE HeapCreate(DWORD options, SIZE_T initialSize, SIZE_T maximumSize) {
    (void)initialSize;  // malloc reserves nothing ahead
    // Executable heap memory and structured exceptions on failure are not
    // modelled; refusing them keeps a caller that asks for them from
    // passing here unnoticed.
    if (options & ~static_cast<DWORD>(HEAP_NO_SERIALIZE) || maximumSize != 0) {
        Refuse(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    unsigned index = heapsCreated.fetch_add(1);
    if (index >= kHeapCount) {
        heapsCreated.store(kHeapCount);
        Refuse(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    heaps[index].options = options;
    return &heaps[index];
}

BOOL HeapSetInformation(HANDLE heap, HEAP_INFORMATION_CLASS informationClass, LPVOID information,
                        SIZE_T informationLength) {
    (void)information;
    (void)informationLength;
    // The C allocator and the sanitizers already end the process when they
    // find a damaged heap: switching it on is all there is to do.
    if (informationClass != HeapEnableTerminationOnCorruption) {
        return Refuse(ERROR_INVALID_PARAMETER);
    }
    if (heap != nullptr && !IsHeap(heap)) return Refuse(ERROR_INVALID_HANDLE);
    return TRUE;
}

LPVOID HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
    if (!IsHeap(heap)) {
        Refuse(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (flags & ~static_cast<DWORD>(HEAP_NO_SERIALIZE | HEAP_ZERO_MEMORY)) {
        Refuse(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Like the system, a zero-byte request gets a distinct block of its own.
    SIZE_T size = bytes ? bytes : 1;
    void* block = (flags & HEAP_ZERO_MEMORY) ? calloc(1, size) : malloc(size);
    if (!block) Refuse(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

LPVOID HeapReAlloc(HANDLE heap, DWORD flags, LPVOID block, SIZE_T bytes) {
    if (!IsHeap(heap)) {
        Refuse(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Zeroing the grown part would need the old size, which malloc keeps to itself.
    if (flags & ~static_cast<DWORD>(HEAP_NO_SERIALIZE) || block == nullptr) {
        Refuse(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // realloc to 0 would free the block; the system keeps a zero-byte one.
    // On failure the old block stays valid, as the system's does.
    void* moved = realloc(block, bytes ? bytes : 1);
    if (!moved) Refuse(ERROR_NOT_ENOUGH_MEMORY);
    return moved;
}

BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block) {
    if (!IsHeap(heap)) return Refuse(ERROR_INVALID_HANDLE);
    if (flags & ~static_cast<DWORD>(HEAP_NO_SERIALIZE)) return Refuse(ERROR_INVALID_PARAMETER);
    free(block);
    return TRUE;
}

}  // extern "C"
