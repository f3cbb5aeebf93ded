#include "gen/Array.h"

#include <cstring>

#include "gen/Err.h"
#include "gen/Heap.h"

namespace {

// This module's path as the build writes it, named by its consistency checks.
const char kSourcePath[] = "..\\gen\\Array.cpp";
// The line FreeStorageChecked reports: part of the configuration key that
// assertion texts are looked up under, so it stays fixed whatever this file
// looks like.
const int kFreeStorageCheckedLine = 74;

unsigned SaturatedSum(unsigned a, unsigned b) { return b > 0xFFFFFFFFu - a ? 0xFFFFFFFFu : a + b; }

// Fresh storage holding a copy of [first, end); null when the heap refused a
// non-empty range and its raise came back.
char* CopyBytes(const char* first, const char* end) {
    unsigned bytes = static_cast<unsigned>(end - first);
    char* storage = static_cast<char*>(HeapAllocate(bytes));
    if (storage && bytes != 0) memcpy(storage, first, bytes);
    return storage;
}

}  // namespace

unsigned GrowthCapacity(unsigned needed, unsigned elementSize) {
    // In 64 bits: five thirds of sizes above 858993459 exceed 32 bits.
    unsigned long long grown = static_cast<unsigned long long>(needed) * 5 / 3;
    if (grown > ArrayMaximumCapacity) grown = ArrayMaximumCapacity;
    if (elementSize > 1) grown -= grown % elementSize;
    return grown < needed ? needed : static_cast<unsigned>(grown);
}

void Array::Reserve(unsigned capacity) {
    if (capacity == Capacity()) return;
    unsigned size = Size();
    if (capacity < size) {
        AssertFailed(kSourcePath, __LINE__);
        return;
    }
    // Existing storage is reallocated: the heap moves the bytes (or grows the
    // block in place) and, when it refuses, keeps the old block, so a
    // refused request leaves the array as it was.
    char* storage = static_cast<char*>(storageStart ? HeapReallocate(storageStart, capacity)
                                                    : HeapAllocate(capacity));
    if (!storage && capacity != 0) return;
    storageStart = storage;
    usedEnd = storage + size;
    storageEnd = storage + capacity;
}

void Array::Resize(unsigned size, unsigned elementSize) {
    if (size > Capacity()) {
        Reserve(GrowthCapacity(size, elementSize));
        if (size > Capacity()) return;  // refused, and the raise came back
    }
    usedEnd = storageStart + size;
}

void Array::Extend(unsigned bytes, unsigned elementSize) {
    Resize(SaturatedSum(Size(), bytes), elementSize);
}

char* Array::PushGrowing(unsigned elementSize) {
    unsigned oldSize = Size();
    Extend(elementSize, elementSize);
    return Size() == oldSize ? nullptr : storageStart + oldSize;
}

char* Array::AppendGrowing(unsigned bytes) {
    unsigned oldSize = Size();
    Extend(bytes, 1);
    return Size() == oldSize ? nullptr : storageStart + oldSize;
}

void Array::TakeBlock(Block& target) {
    if (usedEnd == storageEnd) {
        target.FreeStorage();
        target.storageStart = storageStart;
        target.usedEnd = usedEnd;
    } else {
        char* copy = CopyBytes(storageStart, usedEnd);
        if (!copy && usedEnd != storageStart) return;  // refused: both as they were
        target.FreeStorage();
        target.storageStart = copy;
        target.usedEnd = copy + Size();
        HeapRelease(storageStart);
    }
    storageStart = usedEnd = storageEnd = nullptr;
}

void Array::MoveAssign(Array& other) {
    if (&other == this) return;
    FreeStorage();
    *this = other;
    other = Array();
}

// Unlike a block's, an array's end of storage is cleared too: a stale
// storageEnd would let the next Push write through a null start.
bool Array::FreeStorage() {
    if (!storageStart) return false;
    HeapRelease(storageStart);
    storageStart = usedEnd = storageEnd = nullptr;
    return true;
}

void Block::Allocate(unsigned bytes) {
    FreeStorage();
    char* storage = static_cast<char*>(HeapAllocate(bytes));
    if (!storage) return;
    storageStart = storage;
    usedEnd = storage + bytes;
}

void Block::MoveFrom(Block& other) {
    if (&other == this) return;
    FreeStorage();
    *this = other;
    other.Detach();
}

void Block::CopyOf(const char* first, const char* end) {
    char* copy = CopyBytes(first, end);
    if (!copy && end != first) return;
    FreeStorage();
    storageStart = copy;
    usedEnd = copy + (end - first);
}

bool Block::FreeStorage() {
    if (!storageStart) return false;
    HeapRelease(storageStart);
    Detach();
    return true;
}

void Block::FreeStorageChecked() {
    if (!FreeStorage()) AssertFailed(kSourcePath, kFreeStorageCheckedLine);
}

namespace {

// The buckets of one distribution: a block of empty Array headers, every
// bucket and the block freed however the distribution ends.
struct Buckets {
    Block table;
    Array* bucket = nullptr;
    unsigned count = 0;

    explicit Buckets(unsigned bucketCount) {
        table.Allocate(ElementBytes(bucketCount, sizeof(Array)));
        if (table.Size() < ElementBytes(bucketCount, sizeof(Array))) return;  // refused
        bucket = reinterpret_cast<Array*>(table.storageStart);
        for (; count < bucketCount; ++count) new (&bucket[count]) Array();
    }
    ~Buckets() {
        for (unsigned index = 0; index < count; ++index) bucket[index].FreeStorage();
        table.FreeStorage();
    }
    Buckets(const Buckets&) = delete;
    Buckets& operator=(const Buckets&) = delete;
};

}  // namespace

// Only copies are made until every key is known to be good, so a refused
// key (or allocation) leaves the sequence untouched and nothing outside the
// bucket table is ever written.
void DistributeByKey(char* first, char* end, unsigned elementSize, unsigned bucketCount,
                     KeyFunction key) {
    if (first == end) return;
    if (elementSize == 0 || static_cast<size_t>(end - first) % elementSize != 0) {
        CheckFailed(kSourcePath, __LINE__);
        return;
    }
    Buckets buckets(bucketCount);
    if (buckets.count != bucketCount) return;
    for (char* element = first; element != end; element += elementSize) {
        unsigned index = key(element);
        if (index >= bucketCount) {
            CheckFailed(kSourcePath, __LINE__);
            return;
        }
        char* slot = buckets.bucket[index].AppendBytes(elementSize);
        if (!slot) return;
        memcpy(slot, element, elementSize);
    }
    char* target = first;
    for (unsigned index = 0; index < bucketCount; ++index) {
        Array& bucket = buckets.bucket[index];
        if (bucket.Size() == 0) continue;
        memcpy(target, bucket.storageStart, bucket.Size());
        target += bucket.Size();
        bucket.FreeStorage();
    }
}

ByteRange PeekRun(const ByteRange& range, BoundaryFunction boundary, unsigned elementSize) {
    char* position = range.first;
    if (elementSize == 0) {
        CheckFailed(kSourcePath, __LINE__);
        return {position, position};
    }
    if (position < range.end) {
        // A trailing part element ends the run at the range's end, never past it.
        do {
            size_t left = static_cast<size_t>(range.end - position);
            position += left < elementSize ? left : elementSize;
        } while (position < range.end && !boundary(position - elementSize, position));
    }
    return {range.first, position};
}

ByteRange TakeRun(ByteRange& range, BoundaryFunction boundary, unsigned elementSize) {
    ByteRange run = PeekRun(range, boundary, elementSize);
    range.first = run.end;
    return run;
}
