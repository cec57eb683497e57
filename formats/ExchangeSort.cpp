#include "formats/ExchangeSort.h"
// (being written)
namespace eitool {
std::vector<std::uint32_t> ExchangeSortOrder(std::span<const std::uint32_t> offsets) { return ExchangeSortOrderReference(offsets); }
std::vector<std::uint32_t> ExchangeSortOrderReference(std::span<const std::uint32_t> offsets) {
    std::vector<std::uint32_t> o(offsets.begin(), offsets.end()), perm(offsets.size());
    for (std::uint32_t i = 0; i < perm.size(); ++i) perm[i] = i;
    for (std::size_t i = 0; i + 1 < o.size(); ++i)
        for (std::size_t j = i; j < o.size(); ++j)
            if (o[i] > o[j]) { std::swap(o[i], o[j]); std::swap(perm[i], perm[j]); }
    return perm;
}
} // namespace eitool
