// A data pack with a rollback journal beside it. The input is the pack's bytes, then the
// journal's after a mark "\n#@file NAME\n" (the name does not matter; see FuzzSupport.h).
// Recovery must apply the journal or refuse it with a RunError, and the pack, recovered or not,
// is then extracted.
// The journal records the device and file number of its pack, which no stored input can know:
// a journal in the current format gets the identity of the pack just written, and its checksum
// is made again when it was right before, so that recovery is reached and not only refused.
#include "FuzzSupport.h"
#include "common/RunError.h"
#include "formats/Crc32.h"
#include "formats/DataPack.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace {

constexpr std::size_t kIdentityOffset = 8;
constexpr std::size_t kIdentityEnd = 24;
constexpr std::size_t kCrcSize = 4;

std::uint32_t StoredCrc(const std::vector<std::uint8_t>& journal) {
    const std::size_t at = journal.size() - kCrcSize;
    return journal[at] | journal[at + 1] << 8 | journal[at + 2] << 16 |
           static_cast<std::uint32_t>(journal[at + 3]) << 24;
}

std::uint32_t BodyCrc(const std::vector<std::uint8_t>& journal) {
    return eitool::Crc32Update(0, std::span(journal).first(journal.size() - kCrcSize));
}

// Puts the pack's identity into a journal of the current format, keeping its checksum as right
// or as wrong as it was.
void GiveIdentity(std::vector<std::uint8_t>& journal, const eitool::FileIdentity& pack) {
    if (journal.size() < kIdentityEnd + kCrcSize ||
        std::memcmp(journal.data(), "EITJRNL2", 8) != 0) {
        return;
    }
    const bool checksumRight = StoredCrc(journal) == BodyCrc(journal);
    for (std::size_t i = 0; i < 8; ++i) {
        journal[kIdentityOffset + i] = static_cast<std::uint8_t>(pack.device >> (8 * i));
        journal[kIdentityOffset + 8 + i] = static_cast<std::uint8_t>(pack.number >> (8 * i));
    }
    if (checksumRight) {
        const std::uint32_t crc = BodyCrc(journal);
        const std::size_t at = journal.size() - kCrcSize;
        for (std::size_t i = 0; i < kCrcSize; ++i) {
            journal[at + i] = static_cast<std::uint8_t>(crc >> (8 * i));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const eitool::fuzz::SplitInput input = eitool::fuzz::Split(data, size);
    const auto& work = eitool::fuzz::WorkDirectory::Get();
    work.Fresh();
    const std::string packPath = work.File("in.tre");
    eitool::WriteWholeFile(packPath,
                           std::vector<std::uint8_t>(input.head.begin(), input.head.end()));
    if (!input.files.empty()) {
        const auto& bytes = input.files.front().bytes;
        std::vector<std::uint8_t> journal(bytes.begin(), bytes.end());
        if (const auto identity = eitool::IdentityOfPath(packPath)) {
            GiveIdentity(journal, *identity);
        }
        eitool::WriteWholeFile(eitool::DataPackJournalPath(packPath), journal);
    }
    eitool::fuzz::QuietRun quiet(work);
    eitool::RunContext& run = quiet.run;
    try {
        eitool::RecoverDataPack(run, packPath);
    } catch (const eitool::RunError&) {
    }
    try {
        eitool::ExtractDataPack(run, packPath);
    } catch (const eitool::RunError&) {
    }
    return 0;
}
