#include "formats/ExchangeSort.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace eitool {

namespace {

// Counts over positions 0 .. size-1, with prefix sums and rank search in O(log size).
class Fenwick {
public:
    // Every position starts at 0.
    void ResetZero(std::size_t size) { m_tree.assign(size + 1, 0); }

    // Every position starts at 1.
    void ResetOnes(std::size_t size) {
        m_tree.resize(size + 1);
        for (std::size_t i = 1; i <= size; ++i) {
            m_tree[i] = static_cast<std::uint32_t>(i & (~i + 1));
        }
    }

    void Add(std::size_t position, std::int32_t delta) {
        for (std::size_t i = position + 1; i < m_tree.size(); i += i & (~i + 1)) {
            m_tree[i] += static_cast<std::uint32_t>(delta);
        }
    }

    // The sum over positions 0 .. end-1.
    std::uint32_t Prefix(std::size_t end) const {
        std::uint32_t sum = 0;
        for (std::size_t i = end; i > 0; i -= i & (~i + 1)) {
            sum += m_tree[i];
        }
        return sum;
    }

    // The position at which the prefix sum first reaches rank (1-based); needs 1 <= rank <= total.
    std::size_t FindRank(std::uint32_t rank) const {
        const std::size_t size = m_tree.size() - 1;
        std::size_t position = 0;
        for (std::size_t step = std::bit_floor(size); step > 0; step >>= 1) {
            const std::size_t next = position + step;
            if (next <= size && m_tree[next] < rank) {
                position = next;
                rank -= m_tree[next];
            }
        }
        return position;
    }

private:
    std::vector<std::uint32_t> m_tree;
};

} // namespace

// The exchange sort leaves equal offsets in an order of its own. Entries end up grouped by offset,
// smallest first; within the group of offset v the order is that of a queue fed by a walk over the
// entries in file order: an entry of offset v joins the back of the queue, an entry of a smaller
// offset met while the queue is not empty moves the queue's front to its back, larger offsets do
// nothing. The rotations between two arrivals are counted over file positions with a Fenwick tree
// that holds the entries of the groups already done, and taken modulo the queue's length.
//
// The queue is kept as a cyclic array with a head index h: an arrival is inserted at index h (just
// before the head) and h moves on by one; r rotations move h on by r. Since the insertion indices
// follow from the counts alone, the final array is built afterwards, last arrival first, each one
// taking the (index+1)-th slot still free; the group is then read from the final head round.
std::vector<std::uint32_t> ExchangeSortOrder(std::span<const std::uint32_t> offsets) {
    const std::size_t count = offsets.size();
    std::vector<std::uint64_t> keys(count);
    for (std::size_t i = 0; i < count; ++i) {
        keys[i] = (std::uint64_t{offsets[i]} << 32) | i;
    }
    std::sort(keys.begin(), keys.end());

    std::vector<std::uint32_t> perm(count);
    Fenwick smaller;
    smaller.ResetZero(count);
    Fenwick freeSlots;
    std::vector<std::uint32_t> insertAt;
    std::vector<std::uint32_t> slots;

    std::size_t begin = 0;
    while (begin < count) {
        const std::uint32_t value = static_cast<std::uint32_t>(keys[begin] >> 32);
        std::size_t end = begin + 1;
        while (end < count && static_cast<std::uint32_t>(keys[end] >> 32) == value) {
            ++end;
        }
        const std::size_t size = end - begin;
        const auto position = [&](std::size_t k) {
            return static_cast<std::uint32_t>(keys[begin + k]);
        };

        if (size == 1) {
            perm[begin] = position(0);
        } else {
            // Every entry before this group in sorted order has a smaller offset.
            const auto smallerTotal = static_cast<std::uint32_t>(begin);
            insertAt.resize(size);
            std::size_t head = 0;
            std::uint32_t smallerBefore = smaller.Prefix(position(0));
            for (std::size_t k = 0; k < size; ++k) {
                const std::size_t length = k + 1;
                insertAt[k] = static_cast<std::uint32_t>(head);
                head = (head + 1) % length;
                const std::uint32_t smallerNext =
                    k + 1 < size ? smaller.Prefix(position(k + 1)) : smallerTotal;
                head = (head + (smallerNext - smallerBefore) % length) % length;
                smallerBefore = smallerNext;
            }

            slots.resize(size);
            freeSlots.ResetOnes(size);
            for (std::size_t k = size; k-- > 0;) {
                const std::size_t slot = freeSlots.FindRank(insertAt[k] + 1);
                slots[slot] = static_cast<std::uint32_t>(k);
                freeSlots.Add(slot, -1);
            }
            for (std::size_t t = 0; t < size; ++t) {
                perm[begin + t] = position(slots[(head + t) % size]);
            }
        }

        for (std::size_t k = 0; k < size; ++k) {
            smaller.Add(position(k), 1);
        }
        begin = end;
    }
    return perm;
}

std::vector<std::uint32_t> ExchangeSortOrderReference(std::span<const std::uint32_t> offsets) {
    std::vector<std::uint32_t> values(offsets.begin(), offsets.end());
    std::vector<std::uint32_t> perm(values.size());
    for (std::size_t i = 0; i < perm.size(); ++i) {
        perm[i] = static_cast<std::uint32_t>(i);
    }
    for (std::size_t i = 0; i + 1 < values.size(); ++i) {
        for (std::size_t j = i; j < values.size(); ++j) {
            if (values[i] > values[j]) {
                std::swap(values[i], values[j]);
                std::swap(perm[i], perm[j]);
            }
        }
    }
    return perm;
}

} // namespace eitool
