// Checks ExchangeSortOrder against the quadratic exchange sort on small directories. The first byte
// picks how the rest becomes offsets, so that most inputs are full of ties.
#include "common/ByteReader.h"
#include "formats/ExchangeSort.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

constexpr std::size_t kMaxEntries = 512;

std::vector<std::uint32_t> OffsetsFrom(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint32_t> offsets;
    if (size == 0) {
        return offsets;
    }
    const std::uint8_t mode = data[0] % 4;
    ++data;
    --size;
    if (mode == 3) {
        // Four little-endian bytes an offset: any value, top bit included.
        eitool::ByteReader reader(std::span(data, size));
        while (reader.CanRead(4) && offsets.size() < kMaxEntries) {
            offsets.push_back(reader.U32le());
        }
        return offsets;
    }
    for (std::size_t i = 0; i < size && offsets.size() < kMaxEntries; ++i) {
        switch (mode) {
        case 0: // a handful of values
            offsets.push_back(data[i] % 4);
            break;
        case 1: // a byte each
            offsets.push_back(data[i]);
            break;
        default: // a byte each, around the top bit
            offsets.push_back(0x7FFFFF80u + data[i]);
            break;
        }
    }
    return offsets;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto offsets = OffsetsFrom(data, size);
    if (eitool::ExchangeSortOrder(offsets) != eitool::ExchangeSortOrderReference(offsets)) {
        std::abort();
    }
    return 0;
}
