#include "gen/Array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "gen/Heap.h"
#include "Raises.h"

namespace {

class ArrayTest : public ::testing::Test {
    RaiseCatcher catcher;
};

// Raw headers own nothing by themselves; these free what the test left.
struct OwnedArray {
    Array raw;
    ~OwnedArray() { raw.FreeStorage(); }
};
struct OwnedBlock {
    Block raw;
    ~OwnedBlock() { raw.FreeStorage(); }
};

std::string Bytes(const char* first, const char* end) { return std::string(first, end); }
std::string Bytes(const Array& array) { return Bytes(array.storageStart, array.usedEnd); }
std::string Bytes(const Block& block) { return Bytes(block.storageStart, block.usedEnd); }

// An array of `size` bytes "abcd..." in storage of `capacity` bytes.
void FillLetters(Array& array, unsigned size, unsigned capacity) {
    array.Reserve(capacity);
    array.Resize(size, 1);
    for (unsigned index = 0; index < size; ++index) array.storageStart[index] = char('a' + index % 26);
}

void ExpectNotEnoughMemory(const Raised& raised) { EXPECT_EQ(raised.identity, NotEnoughMemory); }

void ExpectInternalError(const Raised& raised, const std::string& kind) {
    EXPECT_EQ(raised.text.rfind("Internal error. Trap to the debugger?\n\n" + kind +
                                    " failed at '..\\gen\\Array.cpp' line ",
                                0),
              0u)
        << raised.text;
}

TEST_F(ArrayTest, PushGrowsToFiveThirdsOfTheNeededCount) {
    const std::vector<unsigned> expected = {1, 3, 6, 11, 20, 35, 60, 101, 170, 285};
    for (unsigned size : {1u, 4u, 7u, static_cast<unsigned>(sizeof(Array)), 24u}) {
        SCOPED_TRACE(size);
        OwnedArray array;
        std::vector<unsigned> capacities;
        for (unsigned index = 0; index < 285; ++index) {
            unsigned before = array.raw.Capacity();
            char* slot = array.raw.Push(size);
            ASSERT_EQ(slot, array.raw.usedEnd - size);
            memset(slot, index & 0xFF, size);
            if (array.raw.Capacity() != before) capacities.push_back(array.raw.Capacity() / size);
        }
        EXPECT_EQ(capacities, expected);
        EXPECT_EQ(array.raw.Size(), 285 * size);
        for (unsigned index = 0; index < 285; ++index) {
            ASSERT_EQ(static_cast<unsigned char>(array.raw.ElementAt(index * size)[size - 1]),
                      index & 0xFF);
        }
    }
}

TEST_F(ArrayTest, GrowthNeverWrapsAndNeverFallsShortOfTheNeed) {
    struct Case {
        unsigned needed, elementSize, expected;
    };
    const Case cases[] = {
        {1, 1, 1},
        {7, 1, 11},
        {24, 24, 24},
        {48, 24, 72},
        {858993459, 1, 1431655765},
        {858993460, 1, 1431655766},  // five times this exceeds 32 bits
        {2576980377u, 1, 0xFFFFFEFFu},
        {0xFFFFFEFFu, 1, 0xFFFFFEFFu},
        {0xFFFFFF00u, 1, 0xFFFFFF00u},  // past the cap: exactly the need
        {0xFFFFFFFFu, 1, 0xFFFFFFFFu},
        {2576980320u, 24, 4294967016u},  // capped, then whole elements
        {0xFFFFFFF0u, 24, 0xFFFFFFF0u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GrowthCapacity(c.needed, c.elementSize), c.expected)
            << c.needed << " bytes of " << c.elementSize;
    }
}

TEST_F(ArrayTest, SizesBeyond32BitsRaiseAndLeaveTheArrayAsItWas) {
    const std::pair<const char*, std::function<void(Array&)>> cases[] = {
        {"Resize", [](Array& array) { array.Resize(0xFFFFFFFFu, 1); }},
        {"Extend", [](Array& array) { array.Extend(0xFFFFFFF8u, 1); }},
        {"AppendBytes", [](Array& array) { array.AppendBytes(0xFFFFFFF8u); }},
        {"Push", [](Array& array) {
             array.Resize(array.Capacity(), 1);
             array.Push(0xFFFFFFF8u);
         }},
    };
    for (const auto& [name, grow] : cases) {
        SCOPED_TRACE(name);
        OwnedArray array;
        FillLetters(array.raw, 16, 20);
        Array before = array.raw;
        std::string contents = Bytes(array.raw);
        ExpectNotEnoughMemory(RaiseOf([&] { grow(array.raw); }));
        EXPECT_EQ(array.raw.storageStart, before.storageStart);
        EXPECT_EQ(array.raw.storageEnd, before.storageEnd);
        EXPECT_EQ(Bytes(array.raw.storageStart, array.raw.storageStart + contents.size()), contents);
    }
}

TEST_F(ArrayTest, ARefusedGrowthKeepsTheOldStorageAndContents) {
    TypedArray<int> list;
    for (int value = 1; value <= 11; ++value) *list.Push() = value;
    ASSERT_EQ(list.Capacity(), 11u);
    Array before = list.raw;

    FailNextAllocationForTesting();
    ExpectNotEnoughMemory(RaiseOf([&] { list.Push(); }));
    EXPECT_EQ(list.raw.storageStart, before.storageStart);
    EXPECT_EQ(list.raw.usedEnd, before.usedEnd);
    EXPECT_EQ(list.raw.storageEnd, before.storageEnd);
    for (unsigned index = 0; index < 11; ++index) EXPECT_EQ(list[index], static_cast<int>(index + 1));

    *list.Push() = 12;
    EXPECT_EQ(list.Capacity(), 20u);
    EXPECT_EQ(list[11], 12);
}

TEST_F(ArrayTest, ReserveAndResizeKeepStorageWhenTheyCan) {
    OwnedArray array;
    FillLetters(array.raw, 10, 16);
    char* storage = array.raw.storageStart;

    // New storage is obtained while the old is still held, so an unchanged
    // start means nothing was reallocated.
    array.raw.Reserve(16);
    EXPECT_EQ(array.raw.storageStart, storage);

    array.raw.Resize(4, 1);
    EXPECT_EQ(array.raw.storageStart, storage);
    EXPECT_EQ(array.raw.Capacity(), 16u);
    EXPECT_EQ(Bytes(array.raw), "abcd");

    array.raw.Reserve(40);
    EXPECT_EQ(array.raw.Capacity(), 40u);
    EXPECT_EQ(Bytes(array.raw), "abcd");

    ExpectInternalError(RaiseOf([&] { array.raw.Reserve(3); }), "Assertion");
    EXPECT_EQ(array.raw.Capacity(), 40u);
}

TEST_F(ArrayTest, TakeBlockHandsOverExactlyTheUsedBytes) {
    struct Case {
        const char* name;
        unsigned size, capacity;
        bool sameStorage;
    };
    const Case cases[] = {
        {"empty", 0, 0, true},
        {"full", 12, 12, true},
        {"spare room", 12, 20, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedArray array;
        if (c.capacity) FillLetters(array.raw, c.size, c.capacity);
        std::string contents = Bytes(array.raw);
        char* storage = array.raw.storageStart;
        OwnedBlock block;
        block.raw.Allocate(5);  // released by the hand-over

        array.raw.TakeBlock(block.raw);
        EXPECT_EQ(Bytes(block.raw), contents);
        EXPECT_EQ(block.raw.storageStart == storage, c.sameStorage);
        EXPECT_EQ(array.raw.storageStart, nullptr);
        EXPECT_EQ(array.raw.usedEnd, nullptr);
        EXPECT_EQ(array.raw.storageEnd, nullptr);
    }
}

TEST_F(ArrayTest, ARefusedCopyLeavesTheTargetAsItWas) {
    OwnedArray array;
    FillLetters(array.raw, 6, 10);
    OwnedBlock block;
    block.raw.CopyOf("target", "target" + 6);
    char* storage = block.raw.storageStart;

    FailNextAllocationForTesting();
    ExpectNotEnoughMemory(RaiseOf([&] { array.raw.TakeBlock(block.raw); }));
    EXPECT_EQ(block.raw.storageStart, storage);
    EXPECT_EQ(Bytes(block.raw), "target");
    EXPECT_EQ(Bytes(array.raw), "abcdef");

    FailNextAllocationForTesting();
    ExpectNotEnoughMemory(RaiseOf([&] { block.raw.CopyOf(array.raw); }));
    EXPECT_EQ(block.raw.storageStart, storage);
    EXPECT_EQ(Bytes(block.raw), "target");

    // Allocate frees first, so a refused one leaves the block empty.
    FailNextAllocationForTesting();
    ExpectNotEnoughMemory(RaiseOf([&] { block.raw.Allocate(8); }));
    EXPECT_EQ(block.raw.storageStart, nullptr);
    EXPECT_EQ(block.raw.usedEnd, nullptr);
}

TEST_F(ArrayTest, CopyOfAPartOfItselfCopiesBeforeFreeing) {
    OwnedBlock block;
    block.raw.CopyOf("abcdef", "abcdef" + 6);
    block.raw.CopyOf(block.raw.storageStart + 2, block.raw.storageStart + 5);
    EXPECT_EQ(Bytes(block.raw), "cde");
}

TEST_F(ArrayTest, OwnershipMovesWithoutCopies) {
    OwnedArray target, source;
    FillLetters(target.raw, 3, 8);
    FillLetters(source.raw, 5, 5);
    Array moved = source.raw;

    target.raw.MoveAssign(target.raw);
    EXPECT_EQ(Bytes(target.raw), "abc");

    target.raw.MoveAssign(source.raw);  // target's old storage is freed
    EXPECT_EQ(target.raw.storageStart, moved.storageStart);
    EXPECT_EQ(target.raw.storageEnd, moved.storageEnd);
    EXPECT_EQ(source.raw.storageStart, nullptr);
    EXPECT_EQ(source.raw.storageEnd, nullptr);

    OwnedBlock first, second;
    first.raw.CopyOf("xyz", "xyz" + 3);
    second.raw.Allocate(2);
    char* storage = first.raw.storageStart;
    second.raw.MoveFrom(first.raw);
    EXPECT_EQ(second.raw.storageStart, storage);
    EXPECT_EQ(Bytes(second.raw), "xyz");
    EXPECT_EQ(first.raw.storageStart, nullptr);
}

TEST_F(ArrayTest, FreeStorageTellsWhetherThereWasAny) {
    OwnedBlock block;
    EXPECT_FALSE(block.raw.FreeStorage());
    Raised raised = RaiseOf([&] { block.raw.FreeStorageChecked(); });
    EXPECT_EQ(raised.text,
              "Internal error. Trap to the debugger?\n\nAssertion failed at '..\\gen\\Array.cpp' "
              "line 74\n");

    block.raw.Allocate(4);
    block.raw.FreeStorageChecked();
    EXPECT_EQ(block.raw.storageStart, nullptr);

    // An array whose storage was freed is empty, and fills again from scratch.
    OwnedArray array;
    FillLetters(array.raw, 4, 4);
    EXPECT_TRUE(array.raw.FreeStorage());
    EXPECT_FALSE(array.raw.FreeStorage());
    EXPECT_EQ(array.raw.Capacity(), 0u);
    *array.raw.Push(1) = 'q';
    EXPECT_EQ(Bytes(array.raw), "q");
    EXPECT_EQ(array.raw.Capacity(), 1u);
}

struct Record {
    unsigned key;
    unsigned order;
    unsigned char tag;  // an element size that is no power of two
};

unsigned KeyOf(const void* element) { return static_cast<const Record*>(element)->key; }

std::vector<Record> Records(const std::vector<unsigned>& keys) {
    std::vector<Record> records;
    for (unsigned key : keys) {
        records.push_back({key, static_cast<unsigned>(records.size()),
                           static_cast<unsigned char>(records.size() * 3)});
    }
    return records;
}

std::vector<std::pair<unsigned, unsigned>> KeysAndOrder(const std::vector<Record>& records) {
    std::vector<std::pair<unsigned, unsigned>> result;
    for (const Record& record : records) {
        EXPECT_EQ(record.tag, static_cast<unsigned char>(record.order * 3));
        result.push_back({record.key, record.order});
    }
    return result;
}

void Distribute(std::vector<Record>& records, unsigned buckets) {
    char* first = reinterpret_cast<char*>(records.data());
    DistributeByKey(first, first + records.size() * sizeof(Record), sizeof(Record), buckets, KeyOf);
}

TEST_F(ArrayTest, DistributeByKeyOrdersByKeyKeepingEqualKeysInOrder) {
    std::vector<unsigned> keys;
    unsigned seed = 12345;
    for (int index = 0; index < 500; ++index) {
        seed = seed * 1103515245u + 12345u;
        keys.push_back((seed >> 16) % 7);
    }
    struct Case {
        const char* name;
        std::vector<unsigned> keys;
        unsigned buckets;
    };
    const Case cases[] = {
        {"mixed", keys, 7},
        {"all equal", std::vector<unsigned>(50, 2), 3},
        {"descending", {4, 3, 2, 1, 0}, 5},
        {"empty", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Record> records = Records(c.keys);
        std::vector<Record> expected = records;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const Record& a, const Record& b) { return a.key < b.key; });
        Distribute(records, c.buckets);
        EXPECT_EQ(KeysAndOrder(records), KeysAndOrder(expected));
    }
}

TEST_F(ArrayTest, DistributeByKeyRefusesKeysOutsideTheBuckets) {
    std::vector<Record> records = Records({1, 0, 3, 2});
    const auto original = KeysAndOrder(records);
    ExpectInternalError(RaiseOf([&] { Distribute(records, 3); }), "Check");
    EXPECT_EQ(KeysAndOrder(records), original);

    // A range that is not whole elements is refused as well.
    char* first = reinterpret_cast<char*>(records.data());
    ExpectInternalError(RaiseOf([&] {
                            DistributeByKey(first, first + sizeof(Record) + 1, sizeof(Record), 4,
                                            KeyOf);
                        }),
                        "Check");
    EXPECT_EQ(KeysAndOrder(records), original);
}

bool Differ(const void* previous, const void* element) {
    return *static_cast<const int*>(previous) != *static_cast<const int*>(element);
}
bool Never(const void*, const void*) { return false; }

ByteRange RangeOf(std::vector<int>& values) {
    char* first = reinterpret_cast<char*>(values.data());
    return {first, first + values.size() * sizeof(int)};
}

std::vector<int> Ints(ByteRange range) {
    return std::vector<int>(reinterpret_cast<int*>(range.first), reinterpret_cast<int*>(range.end));
}

TEST_F(ArrayTest, TakeRunSplitsARangeIntoRuns) {
    std::vector<int> values = {1, 1, 2, 2, 2, 3};
    ByteRange range = RangeOf(values);
    const ByteRange whole = range;

    EXPECT_EQ(Ints(PeekRun(range, Differ, sizeof(int))), (std::vector<int>{1, 1}));
    EXPECT_EQ(range.first, whole.first);

    std::vector<std::vector<int>> runs;
    while (range.first != range.end) runs.push_back(Ints(TakeRun(range, Differ, sizeof(int))));
    EXPECT_EQ(runs, (std::vector<std::vector<int>>{{1, 1}, {2, 2, 2}, {3}}));
    EXPECT_EQ(range.first, whole.end);

    ByteRange empty = TakeRun(range, Differ, sizeof(int));
    EXPECT_EQ(empty.first, whole.end);
    EXPECT_EQ(empty.end, whole.end);
    EXPECT_EQ(PeekRun(range, Differ, sizeof(int)).end, whole.end);
}

TEST_F(ArrayTest, ARunWithoutBoundaryIsTheWholeRange) {
    std::vector<int> values = {5, 6, 7};
    ByteRange range = RangeOf(values);
    const ByteRange whole = range;
    ByteRange run = TakeRun(range, Never, sizeof(int));
    EXPECT_EQ(run.first, whole.first);
    EXPECT_EQ(run.end, whole.end);
    EXPECT_EQ(range.first, range.end);

    // A trailing part of an element ends the run at the range's end.
    ByteRange ragged = {whole.first, whole.first + 10};
    EXPECT_EQ(PeekRun(ragged, Never, sizeof(int)).end, ragged.end);
}

struct Counted {
    static int live;
    int value;
    explicit Counted(int v) : value(v) {
        if (v < 0) throw v;
        ++live;
    }
    ~Counted() { --live; }
};
int Counted::live = 0;

TEST_F(ArrayTest, TypedListsDestroyEachElementOnce) {
    {
        TypedArray<Counted> list;
        for (int index = 0; index < 50; ++index) list.Emplace(index);
        EXPECT_EQ(Counted::live, 50);
        EXPECT_THROW(list.Emplace(-1), int);  // the slot is given back
        EXPECT_EQ(list.Count(), 50u);

        list.Resize(40);
        EXPECT_EQ(Counted::live, 40);

        TypedBlock<Counted> block;
        list.TakeBlock(block);
        EXPECT_EQ(list.Count(), 0u);
        ASSERT_EQ(block.Count(), 40u);
        EXPECT_EQ(block[39].value, 39);

        TypedBlock<Counted> moved = std::move(block);
        EXPECT_EQ(moved.Count(), 40u);
        EXPECT_EQ(block.Count(), 0u);

        TypedArray<Counted> other;
        other.Emplace(7);
        TypedArray<Counted> taken = std::move(other);
        taken.MoveAssign(list);  // destroys the 7
        EXPECT_EQ(Counted::live, 40);
    }
    EXPECT_EQ(Counted::live, 0);
}

TEST_F(ArrayTest, ACountedArrayReservesExactly) {
    TypedArray<Record> list(5);
    EXPECT_EQ(list.Capacity(), 5u);
    EXPECT_EQ(list.Count(), 0u);
    Record* first = list.Push();
    for (int index = 0; index < 4; ++index) list.Push();
    EXPECT_EQ(list.begin(), first);
    list.Push();
    EXPECT_EQ(list.Capacity(), 10u);
    EXPECT_EQ(list.Count(), 6u);
}

}  // namespace
