#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace eitool {

// The order in which a data pack's directory entries are paired with names and log lines: the
// order that this exchange sort leaves them in, ties included:
//   for i in 0 .. N-2: for j in i .. N-1: if offset[i] > offset[j] (unsigned): swap i and j.
// Both functions return perm, where perm[k] is the file-order index of the entry at position k.

// O(N log N); gives exactly the same perm as the reference.
std::vector<std::uint32_t> ExchangeSortOrder(std::span<const std::uint32_t> offsets);

// The quadratic exchange sort itself.
std::vector<std::uint32_t> ExchangeSortOrderReference(std::span<const std::uint32_t> offsets);

} // namespace eitool
