#include "formats/ExchangeSort.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <vector>

namespace eitool {
namespace {

using Offsets = std::vector<std::uint32_t>;

void ExpectSameAsReference(const Offsets& offsets) {
    ASSERT_EQ(ExchangeSortOrder(offsets), ExchangeSortOrderReference(offsets))
        << "size " << offsets.size();
}

Offsets RandomOffsets(std::size_t size, std::uint32_t maxValue, std::mt19937& random) {
    std::uniform_int_distribution<std::uint32_t> value(0, maxValue);
    Offsets offsets(size);
    for (auto& offset : offsets) {
        offset = value(random);
    }
    return offsets;
}

TEST(ExchangeSortReference, LeavesTiesInTheExchangeOrder) {
    // Position 0 swaps with position 2, which carries the first 1 behind the second.
    EXPECT_EQ(ExchangeSortOrderReference(Offsets{1, 1, 0}), (Offsets{2, 1, 0}));
    // 5 at 0 goes to 1, then to 3; the later 5 overtakes it.
    EXPECT_EQ(ExchangeSortOrderReference(Offsets{5, 3, 5, 1}), (Offsets{3, 1, 2, 0}));
}

TEST(ExchangeSortShapes, SmallAndDegenerateDirectories) {
    EXPECT_TRUE(ExchangeSortOrder(Offsets{}).empty());
    EXPECT_EQ(ExchangeSortOrder(Offsets{42}), (Offsets{0}));
    EXPECT_EQ(ExchangeSortOrder(Offsets{2, 1}), (Offsets{1, 0}));
    EXPECT_EQ(ExchangeSortOrder(Offsets{1, 2}), (Offsets{0, 1}));
    EXPECT_EQ(ExchangeSortOrder(Offsets{7, 7}), (Offsets{0, 1}));
    ExpectSameAsReference(Offsets{1, 1, 0});
    ExpectSameAsReference(Offsets{5, 3, 5, 1});
}

TEST(ExchangeSortShapes, OrderedEqualAndDistinct) {
    for (const std::size_t size : {3u, 17u, 64u, 257u}) {
        Offsets ascending(size);
        std::iota(ascending.begin(), ascending.end(), 100u);
        ExpectSameAsReference(ascending);
        Offsets descending(ascending.rbegin(), ascending.rend());
        ExpectSameAsReference(descending);
        ExpectSameAsReference(Offsets(size, 9));
        Offsets zeros(size, 0);
        ExpectSameAsReference(zeros);
        // Ascending with every value twice, and descending pairs.
        Offsets pairs(size);
        for (std::size_t i = 0; i < size; ++i) {
            pairs[i] = static_cast<std::uint32_t>(i / 2);
        }
        ExpectSameAsReference(pairs);
        ExpectSameAsReference(Offsets(pairs.rbegin(), pairs.rend()));
    }
}

TEST(ExchangeSortShapes, ComparesOffsetsUnsigned) {
    const Offsets offsets{0x80000000u, 1, 0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0, 0xFFFFFFFFu};
    ExpectSameAsReference(offsets);
    const Offsets order = ExchangeSortOrder(offsets);
    EXPECT_EQ(offsets[order.front()], 0u);
    EXPECT_EQ(offsets[order.back()], 0xFFFFFFFFu);

    std::mt19937 random(11);
    for (int trial = 0; trial < 300; ++trial) {
        Offsets high = RandomOffsets(1 + random() % 80, 3, random);
        for (auto& offset : high) {
            offset = 0x7FFFFFFFu + offset; // 0x7FFFFFFF .. 0x80000002
        }
        ExpectSameAsReference(high);
    }
}

TEST(ExchangeSortRandom, HeavyTiesMatchReference) {
    std::mt19937 random(2024);
    for (const std::uint32_t maxValue : {0u, 1u, 2u, 3u, 5u, 10u, 30u}) {
        for (int trial = 0; trial < 600; ++trial) {
            const std::size_t size = random() % (trial < 500 ? 40 : 301);
            ExpectSameAsReference(RandomOffsets(size, maxValue, random));
        }
    }
}

TEST(ExchangeSortRandom, FewTiesAndDistinctMatchReference) {
    std::mt19937 random(77);
    for (int trial = 0; trial < 1000; ++trial) {
        const std::size_t size = random() % 301;
        const std::uint32_t maxValue =
            trial % 2 == 0 ? static_cast<std::uint32_t>(size * 4) : 0xFFFFFFFFu;
        ExpectSameAsReference(RandomOffsets(size, maxValue, random));
    }
}

TEST(ExchangeSortRandom, GroupsInterleavedWithSmallerOffsetsMatchReference) {
    // Groups of equal offsets spread over the whole directory with many smaller offsets in
    // between, so every queue turns many times over between two arrivals.
    for (const std::uint32_t groups : {7u, 31u, 45u}) {
        Offsets offsets(groups * groups + 13);
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            offsets[i] = static_cast<std::uint32_t>(i % groups);
        }
        ExpectSameAsReference(offsets);
        std::reverse(offsets.begin(), offsets.end());
        ExpectSameAsReference(offsets);
    }
    std::mt19937 random(5);
    Offsets mixed(1500);
    for (std::size_t i = 0; i < mixed.size(); ++i) {
        mixed[i] = random() % 4 == 0 ? static_cast<std::uint32_t>(1000 + i % 37)
                                     : static_cast<std::uint32_t>(random() % 1000);
    }
    ExpectSameAsReference(mixed);
}

TEST(ExchangeSortLarge, GivesASortedPermutation) {
    std::mt19937 random(123);
    const Offsets offsets = RandomOffsets(200000, 50000, random);
    const Offsets order = ExchangeSortOrder(offsets);
    ASSERT_EQ(order.size(), offsets.size());
    std::vector<bool> seen(offsets.size(), false);
    for (std::size_t k = 0; k < order.size(); ++k) {
        ASSERT_LT(order[k], offsets.size());
        ASSERT_FALSE(seen[order[k]]) << "index " << order[k] << " twice";
        seen[order[k]] = true;
        if (k > 0) {
            ASSERT_LE(offsets[order[k - 1]], offsets[order[k]]) << "position " << k;
        }
    }
}

} // namespace
} // namespace eitool
