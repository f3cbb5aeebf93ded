// The store's CRC against zlib's on random data (natively only: zlib is
// the benchmark's baseline and is not part of the library).
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "gen/Ini.h"

TEST(Crc32, IsTheComplementOfZlibs) {
    std::mt19937 random(11);
    std::vector<unsigned char> data(1 << 20);
    for (unsigned char& byte : data) byte = static_cast<unsigned char>(random());
    for (size_t length : {0, 1, 15, 16, 63, 64, 65, 127, 1000, 1024, 4097, 1 << 20}) {
        for (size_t offset : {0, 3}) {
            if (offset + length > data.size()) continue;
            SCOPED_TRACE(testing::Message() << offset << "+" << length);
            uLong expected = crc32(0, data.data() + offset, static_cast<uInt>(length));
            EXPECT_EQ(~Crc32Update(data.data() + offset, length, 0xFFFFFFFFu), static_cast<uint32_t>(expected));
        }
    }
}
