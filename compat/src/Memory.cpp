// Local memory: fixed blocks only, each behind a header holding the size asked
// for, so that LocalSize can answer. Live blocks are chained through their
// headers, so freeing a block twice (or anything that is no block) fails
// without touching memory. Everything here comes from malloc: like the
// system's, this memory never calls into the program's own allocator.
#include <windows.h>

#include <cstddef>
#include <cstdlib>
#include <mutex>

namespace {

struct alignas(std::max_align_t) BlockHeader {
    SIZE_T size;
    BlockHeader* previous;
    BlockHeader* next;
};

std::mutex liveMutex;
BlockHeader* liveBlocks;  // the most recent block first; few are ever live

// The live block whose memory this is, or null; the caller holds liveMutex.
// Only the chain is read, never the memory the caller passed.
BlockHeader* LiveHeader(HLOCAL memory) {
    for (BlockHeader* block = liveBlocks; block != nullptr; block = block->next)
        if (block + 1 == memory) return block;
    return nullptr;
}

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
    BlockHeader* header = static_cast<BlockHeader*>(raw);
    header->size = bytes;
    header->previous = nullptr;
    std::lock_guard<std::mutex> lock(liveMutex);
    header->next = liveBlocks;
    if (liveBlocks) liveBlocks->previous = header;
    liveBlocks = header;
    return header + 1;
}

SIZE_T LocalSize(HLOCAL memory) {
    std::lock_guard<std::mutex> lock(liveMutex);
    BlockHeader* header = LiveHeader(memory);
    if (header == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return header->size;
}

HLOCAL LocalFree(HLOCAL memory) {
    if (memory == nullptr) return nullptr;
    BlockHeader* header;
    {
        std::lock_guard<std::mutex> lock(liveMutex);
        header = LiveHeader(memory);
        if (header == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return memory;
        }
        if (header->previous) header->previous->next = header->next;
        else liveBlocks = header->next;
        if (header->next) header->next->previous = header->previous;
    }
    free(header);
    return nullptr;
}

}  // extern "C"
