// Local memory: fixed blocks only, each behind a header holding the size asked
// for, so that LocalSize can answer. Live blocks are remembered, so freeing a
// block twice (or anything that is no block) fails without touching memory.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {

struct alignas(std::max_align_t) BlockHeader {
    SIZE_T size;
};

std::mutex liveMutex;
std::unordered_set<void*>& LiveBlocks() {
    static auto* blocks = new std::unordered_set<void*>;  // outlives static destructors
    return *blocks;
}

BlockHeader* HeaderOf(HLOCAL memory) { return static_cast<BlockHeader*>(memory) - 1; }

// Whether memory is a live block; the caller holds liveMutex.
bool IsLive(HLOCAL memory) { return LiveBlocks().count(memory) != 0; }

}  // namespace

extern "C" {

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    // Movable memory (a handle to lock) is not offered.
    if (flags & ~static_cast<UINT>(LMEM_ZEROINIT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (bytes > SIZE_MAX - sizeof(BlockHeader)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    void* raw = (flags & LMEM_ZEROINIT) ? calloc(1, sizeof(BlockHeader) + bytes)
                                        : malloc(sizeof(BlockHeader) + bytes);
    if (raw == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    BlockHeader* header = new (raw) BlockHeader{bytes};
    HLOCAL memory = header + 1;
    try {
        std::lock_guard<std::mutex> lock(liveMutex);
        LiveBlocks().insert(memory);
    } catch (const std::bad_alloc&) {
        free(raw);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return memory;
}

SIZE_T LocalSize(HLOCAL memory) {
    std::lock_guard<std::mutex> lock(liveMutex);
    if (memory == nullptr || !IsLive(memory)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return HeaderOf(memory)->size;
}

HLOCAL LocalFree(HLOCAL memory) {
    if (memory == nullptr) return nullptr;
    {
        std::lock_guard<std::mutex> lock(liveMutex);
        if (LiveBlocks().erase(memory) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return memory;
        }
    }
    free(HeaderOf(memory));
    return nullptr;
}

}  // extern "C"
