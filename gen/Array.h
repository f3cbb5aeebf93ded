// Growable arrays and exactly sized blocks of fixed-size elements, kept as raw
// bytes on the private heap. The byte-level shapes know nothing of the element
// type; the typed front ends below turn element counts into byte counts.
// Lists are filled as an Array and handed on as a Block (TakeBlock).
//
// Byte counts are unsigned 32-bit on every build and never wrap: a count that
// would exceed 32 bits saturates at 0xFFFFFFFF, the request the heap refuses
// with "Not enough memory". When a raise comes back to its caller, the
// operation that raised leaves its target as it was.
#pragma once

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

// The largest byte capacity the growth rule produces.
constexpr unsigned ArrayMaximumCapacity = 0xFFFFFEFFu;

// count × elementSize, saturated at 0xFFFFFFFF.
inline unsigned ElementBytes(unsigned count, unsigned elementSize) {
    unsigned long long bytes = static_cast<unsigned long long>(count) * elementSize;
    return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<unsigned>(bytes);
}

// The growth rule: the capacity an array that needs `needed` bytes of
// elementSize-byte elements grows to. Five thirds of needed (rounded down),
// capped at ArrayMaximumCapacity, rounded down to whole elements, and never
// less than needed itself (past the cap the array takes exactly what it
// needs, and the heap refuses what it cannot give).
unsigned GrowthCapacity(unsigned needed, unsigned elementSize);

struct Block;

// A growing byte array: storageStart, usedEnd, storageEnd; all null when
// empty. A plain header with no destructor (the typed front end owns): a
// copy of it is a second name for the same storage, so exactly one of them
// may free it. Filled by typed callers, capacity and size stay whole
// multiples of the element size, so usedEnd below storageEnd means that one
// more element fits.
struct Array {
    char* storageStart = nullptr;
    char* usedEnd = nullptr;
    char* storageEnd = nullptr;

    Array() = default;
    explicit Array(unsigned capacity) { Reserve(capacity); }

    unsigned Size() const { return static_cast<unsigned>(usedEnd - storageStart); }
    unsigned Capacity() const { return static_cast<unsigned>(storageEnd - storageStart); }
    char* ElementAt(unsigned offset) const { return storageStart + offset; }

    // Storage of exactly capacity bytes, keeping the contents; nothing
    // happens when the capacity is already that. A capacity below the size
    // is refused (AssertFailed).
    void Reserve(unsigned capacity);
    // Makes the size `size` bytes, growing by the growth rule when it
    // exceeds the capacity; a smaller size keeps the storage.
    void Resize(unsigned size, unsigned elementSize);
    void Extend(unsigned bytes, unsigned elementSize);
    // One more elementSize-byte slot at the end, not initialised; returns
    // its address (null only when a refused growth's raise came back).
    char* Push(unsigned elementSize) {
        if (usedEnd < storageEnd) {
            usedEnd += elementSize;
            return usedEnd - elementSize;
        }
        return PushGrowing(elementSize);
    }
    // bytes more bytes at the end, growing with element size 1 when they do
    // not fit; returns the first of them (null as for Push).
    char* AppendBytes(unsigned bytes) {
        if (bytes <= static_cast<unsigned>(storageEnd - usedEnd)) {
            usedEnd += bytes;
            return usedEnd - bytes;
        }
        return AppendGrowing(bytes);
    }

    // Hands the contents to target as an exactly sized block (target's own
    // storage is released) and leaves this array empty. A full array passes
    // its storage on without copying; otherwise the used bytes are copied.
    void TakeBlock(Block& target);
    // Frees this storage and takes other's; other becomes empty.
    void MoveAssign(Array& other);
    // Frees the storage and empties the array; false when there was none.
    bool FreeStorage();
    bool IsAtMaximum() const {
        return usedEnd >= storageEnd && Size() >= ArrayMaximumCapacity;
    }

private:
    char* PushGrowing(unsigned elementSize);
    char* AppendGrowing(unsigned bytes);
};

// An exactly sized owned byte storage: storageStart, usedEnd; both null when
// empty. A plain header, like Array.
struct Block {
    char* storageStart = nullptr;
    char* usedEnd = nullptr;

    unsigned Size() const { return static_cast<unsigned>(usedEnd - storageStart); }

    // Frees what the block holds, then obtains exactly bytes bytes. If the
    // heap refuses, the block is left empty.
    void Allocate(unsigned bytes);
    // Takes other's storage (releasing its own first); other becomes empty.
    void MoveFrom(Block& other);
    // An owned copy of [first, end). The new storage is obtained before the
    // old is freed: a range inside the block itself is copied correctly, and
    // a refused allocation leaves the block as it was.
    void CopyOf(const char* first, const char* end);
    void CopyOf(const Array& array) { CopyOf(array.storageStart, array.usedEnd); }
    void CopyOf(const Block& block) { CopyOf(block.storageStart, block.usedEnd); }
    // Frees the storage and empties the block; false when there was none.
    bool FreeStorage();
    // FreeStorage, where a block without storage is an internal error.
    void FreeStorageChecked();
    // Forgets the storage without freeing it (whoever took the pointers owns it).
    void Detach() { storageStart = usedEnd = nullptr; }
    // Becomes a non-owning view of other's bytes (a cursor); never freed.
    void View(const Block& other) {
        storageStart = other.storageStart;
        usedEnd = other.usedEnd;
    }
};

// A range of whole elements, given by its first byte and one past its last.
struct ByteRange {
    char* first;
    char* end;
};

using KeyFunction = unsigned (*)(const void* element);
using BoundaryFunction = bool (*)(const void* previous, const void* element);

// Reorders [first, end) of elementSize-byte elements by ascending key in
// [0, bucketCount), stably. A key outside that range, or a range that is
// not whole elements, raises CheckFailed and leaves the sequence unchanged.
void DistributeByKey(char* first, char* end, unsigned elementSize, unsigned bucketCount,
                     KeyFunction key);
// The leading run of range: elements up to, not including, the first one for
// which boundary(previous, element) is true. TakeRun also moves range.first
// past the run; PeekRun leaves range as it is.
ByteRange TakeRun(ByteRange& range, BoundaryFunction boundary, unsigned elementSize);
ByteRange PeekRun(const ByteRange& range, BoundaryFunction boundary, unsigned elementSize);

// Runs the destructors of [first, last) where the element type has one (a
// list of texts frees each text); nothing for plain types. Elements are
// otherwise moved and copied as plain bytes, never through constructors.
template <class T>
void DestroyElements(T* first, T* last) {
    if constexpr (!std::is_trivially_destructible<T>::value) {
        for (; first != last; ++first) first->~T();
    }
}

template <class T>
class TypedBlock;

// The element-typed front end of Array: counts are in elements, and
// destruction destroys the elements, then frees the storage.
template <class T>
class TypedArray {
    static_assert(alignof(T) <= 2 * sizeof(void*), "the heap aligns blocks to two pointers");

public:
    Array raw;

    TypedArray() = default;
    // Reserves room for exactly count elements.
    explicit TypedArray(unsigned count) { Reserve(count); }
    ~TypedArray() { Clear(); }
    TypedArray(const TypedArray&) = delete;
    TypedArray& operator=(const TypedArray&) = delete;
    TypedArray(TypedArray&& other) noexcept { raw.MoveAssign(other.raw); }
    TypedArray& operator=(TypedArray&& other) noexcept {
        MoveAssign(other);
        return *this;
    }

    unsigned Count() const { return raw.Size() / sizeof(T); }
    unsigned Capacity() const { return raw.Capacity() / sizeof(T); }
    T* begin() const { return reinterpret_cast<T*>(raw.storageStart); }
    T* end() const { return reinterpret_cast<T*>(raw.usedEnd); }
    T& operator[](unsigned index) const { return begin()[index]; }

    // A new last slot, not initialised (null only when a refused growth's
    // raise came back).
    T* Push() { return reinterpret_cast<T*>(raw.Push(sizeof(T))); }
    // A new last element constructed from arguments; if the constructor
    // throws, the slot is given back.
    template <class... Arguments>
    T* Emplace(Arguments&&... arguments) {
        T* slot = Push();
        if (!slot) return nullptr;
        try {
            return new (slot) T(std::forward<Arguments>(arguments)...);
        } catch (...) {
            raw.usedEnd -= sizeof(T);
            throw;
        }
    }
    void Reserve(unsigned count) { raw.Reserve(ElementBytes(count, sizeof(T))); }
    // Shrinking destroys the dropped elements; new slots are not initialised.
    void Resize(unsigned count) {
        if (count < Count()) DestroyElements(begin() + count, end());
        raw.Resize(ElementBytes(count, sizeof(T)), sizeof(T));
    }
    void Extend(unsigned count) { raw.Extend(ElementBytes(count, sizeof(T)), sizeof(T)); }
    // Hands the elements on; target's old elements are destroyed first.
    void TakeBlock(TypedBlock<T>& target) {
        target.Clear();
        raw.TakeBlock(target.raw);
    }
    void MoveAssign(TypedArray& other) {
        if (&other == this) return;
        DestroyElements(begin(), end());
        raw.MoveAssign(other.raw);
    }
    bool IsAtMaximum() const { return raw.IsAtMaximum(); }
    // Destroys the elements and frees the storage.
    void Clear() {
        DestroyElements(begin(), end());
        raw.FreeStorage();
    }
};

// The element-typed front end of Block.
template <class T>
class TypedBlock {
    static_assert(alignof(T) <= 2 * sizeof(void*), "the heap aligns blocks to two pointers");

public:
    Block raw;

    TypedBlock() = default;
    ~TypedBlock() { Clear(); }
    TypedBlock(const TypedBlock&) = delete;
    TypedBlock& operator=(const TypedBlock&) = delete;
    TypedBlock(TypedBlock&& other) noexcept { raw.MoveFrom(other.raw); }
    TypedBlock& operator=(TypedBlock&& other) noexcept {
        MoveFrom(other);
        return *this;
    }

    unsigned Count() const { return raw.Size() / sizeof(T); }
    T* begin() const { return reinterpret_cast<T*>(raw.storageStart); }
    T* end() const { return reinterpret_cast<T*>(raw.usedEnd); }
    T& operator[](unsigned index) const { return begin()[index]; }

    // Room for exactly count elements, not initialised: only for elements
    // that need no destruction, as nothing would construct them.
    void Allocate(unsigned count) {
        static_assert(std::is_trivially_destructible<T>::value, "construct such elements in an array");
        raw.Allocate(ElementBytes(count, sizeof(T)));
    }
    // Byte copies are second owners for elements that own something.
    void CopyOf(const TypedArray<T>& array) {
        static_assert(std::is_trivially_copyable<T>::value, "elements would have two owners");
        raw.CopyOf(array.raw);
    }
    void CopyOf(const TypedBlock& block) {
        static_assert(std::is_trivially_copyable<T>::value, "elements would have two owners");
        raw.CopyOf(block.raw);
    }
    void MoveFrom(TypedBlock& other) {
        if (&other == this) return;
        Clear();
        raw.MoveFrom(other.raw);
    }
    // Destroys the elements, then frees the storage.
    void Clear() {
        DestroyElements(begin(), end());
        raw.FreeStorage();
    }
    void FreeStorageChecked() {
        DestroyElements(begin(), end());
        raw.FreeStorageChecked();
    }
};

// A byte-sized front end naming an array held elsewhere: its size is the
// referenced array's.
struct ByteArrayRef {
    const Array* array;
    unsigned Size() const { return array->Size(); }
};
