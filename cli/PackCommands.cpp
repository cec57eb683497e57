// `eitool list` and `eitool verify`: what is in a data pack, and whether it is sound.
#include "cli/PackCommands.h"

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "common/FileStream.h"
#include "common/FileSystem.h"
#include "common/RunError.h"
#include "formats/DataPack.h"
#include "formats/DataPackContents.h"
#include "run/RunState.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <new>

namespace eitool::cli {

namespace {

// value in decimal, padded with blanks on the left to width characters.
class RightAligned {
public:
    RightAligned(std::uint32_t value, int width) {
        char digits[10];
        const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
        const auto length = static_cast<std::size_t>(end - digits);
        const std::size_t pad =
            static_cast<std::size_t>(width) > length ? static_cast<std::size_t>(width) - length : 0;
        std::fill_n(m_text, pad, ' ');
        std::copy(digits, end, m_text + pad);
        m_length = pad + length;
    }
    operator std::string_view() const { return {m_text, m_length}; }

private:
    char m_text[32];
    std::size_t m_length = 0;
};

// The CRC state and the blanks up to the name's column.
std::string_view CrcColumn(MemberCrc state) {
    switch (state) {
    case MemberCrc::Ok:
        return "ok     ";
    case MemberCrc::Empty:
        return "empty  ";
    case MemberCrc::Bad:
    case MemberCrc::Outside:
        break;
    }
    return "bad    ";
}

std::string Hex32(std::uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// A JSON string. Bytes of valid UTF-8 go through; any other byte above 0x7F is written as
// \u00XX, so names in a game's 8-bit code page stay readable byte by byte.
std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t j = 1; valid && j < length; ++j) {
            valid = (static_cast<unsigned char>(text[i + j]) & 0xC0) == 0x80;
        }
        if (valid) {
            out.append(text.substr(i, length));
            i += length - 1;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[7];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void Complain(const std::string& message) {
    WriteStderr("eitool: " + message + "\n");
}

// A pack opened and read as the commands see it; sharing with other readers only, so that an
// insertion into it meanwhile is refused.
struct OpenPack {
    std::string path;
    FileStream file;
    DataPackContents contents;
};

OpenPack ReadPack(const std::string& typed) {
    const std::string path = AbsoluteFromTyped(typed, CurrentDirectory());
    FileStream file = FileStream::Open(path, omReadShared);
    DataPackContents contents = ReadDataPackContents(file);
    return OpenPack{path, std::move(file), std::move(contents)};
}

std::vector<MemberCheck> ChecksOf(OpenPack& pack) {
    if (!MembersWithinCheckLimit(pack.contents)) {
        Complain(pack.path + ": the members add up to more than 64 times the file's size; their "
                             "CRC-32s are not worked out");
        return std::vector<MemberCheck>(pack.contents.order.size(), MemberCheck{MemberCrc::Bad, 0});
    }
    return CheckMembers(pack.file, pack.contents);
}

void ListText(BufferedStdout& out, const OpenPack& pack, const RunState& state,
              const std::vector<MemberCheck>& checks) {
    const DataPackContents& contents = pack.contents;
    const auto count = static_cast<std::uint32_t>(contents.order.size());
    const int width = static_cast<int>(std::to_string(count > 0 ? count - 1 : 0).size());
    for (std::uint32_t k = 0; k < count; ++k) {
        const DataPackEntry& entry = contents.entries[contents.order[k]];
        const std::string name = MemberName(contents, k);
        const std::string piece = MemberPiecePath(state, pack.path, contents, k, name);
        out << RightAligned(k, width) << "  " << RightAligned(entry.offset, 10) << "  "
            << RightAligned(entry.size, 10) << "  " << CrcColumn(checks[k].state)
            << (name.empty() ? "-" : name) << "  " << (piece.empty() ? "-" : piece) << "\n";
    }
}

void ListJson(BufferedStdout& out, const OpenPack& pack, const RunState& state,
              const std::vector<MemberCheck>& checks) {
    const DataPackContents& contents = pack.contents;
    const auto count = static_cast<std::uint32_t>(contents.order.size());
    out << "{\"pack\": " << JsonString(pack.path) << ", \"entries\": " << std::to_string(count)
        << ", \"members\": [";
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t index = contents.order[k];
        const DataPackEntry& entry = contents.entries[index];
        const std::string name = MemberName(contents, k);
        const std::string piece = MemberPiecePath(state, pack.path, contents, k, name);
        out << (k == 0 ? "\n" : ",\n") << "{\"position\": " << std::to_string(k)
            << ", \"entry\": " << std::to_string(index)
            << ", \"offset\": " << std::to_string(entry.offset)
            << ", \"size\": " << std::to_string(entry.size) << ", \"crc\": \""
            << CrcStateName(checks[k].state) << "\", \"storedCrc\": " << std::to_string(entry.crc)
            << ", \"name\": " << JsonString(name)
            << ", \"piece\": " << (piece.empty() ? "null" : JsonString(piece)) << "}";
    }
    out << "]}";
}

// What verify finds wrong with one pack, as results lines.
std::vector<std::string> Problems(OpenPack& pack) {
    const std::string& path = pack.path;
    const DataPackContents& contents = pack.contents;
    std::vector<std::string> lines;
    if (FileExists(DataPackJournalPath(path))) {
        lines.push_back(path + " has the journal of an interrupted insertion; the next "
                               "extraction or insertion of it puts the pack back first.");
    }
    const auto count = static_cast<std::uint32_t>(contents.order.size());
    if (count == 0) {
        return lines;
    }
    if (count <= kNamesListEntry) {
        lines.push_back(path + " has no names list!");
    }
    std::uint32_t unnamed = 0;
    for (std::uint32_t k = 0; k < count && contents.names; ++k) {
        unnamed += k >= contents.names->size() && contents.entries[contents.order[k]].size != 0;
    }
    if (unnamed > 0) {
        lines.push_back(path + " has " + std::to_string(unnamed) +
                        " members without a line in its names list (" +
                        std::to_string(contents.names->size()) + " lines).");
    }
    if (!MembersWithinCheckLimit(contents)) {
        lines.push_back(path + " has members that add up to more than 64 times its size; their "
                               "CRC-32s are not checked!");
        return lines;
    }
    const std::vector<MemberCheck> checks = CheckMembers(pack.file, contents);
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t index = contents.order[k];
        const DataPackEntry& entry = contents.entries[index];
        const std::string name = MemberName(contents, k);
        const std::string member =
            path + " member " + std::to_string(index) + (name.empty() ? "" : " (" + name + ")");
        if (checks[k].state == MemberCrc::Outside) {
            lines.push_back(member + " lies outside the file: offset " +
                            std::to_string(entry.offset) + ", size " + std::to_string(entry.size) +
                            ", file " + std::to_string(contents.fileSize) + " bytes.");
        } else if (checks[k].state == MemberCrc::Bad) {
            lines.push_back(member + " has the CRC-32 " + Hex32(checks[k].crc) +
                            ", its entry says " + Hex32(entry.crc) + ".");
        }
    }
    return lines;
}

// Runs one pack's part of a command. A failure that ends it is said on standard error, after what
// was printed so far, and the next pack goes on; false for such a failure.
template <typename Part>
bool CheckedPack(BufferedStdout& out, const std::string& typed, Part&& part) {
    try {
        part();
        return true;
    } catch (const std::bad_alloc&) {
        out.Flush();
        Complain(typed + ": out of memory");
    } catch (const std::exception& error) {
        out.Flush();
        Complain(error.what());
    }
    return false;
}

} // namespace

void AddPackCommands(CLI::App& app, PackCommandLine& line) {
    CLI::App* list = app.add_subcommand(
        "list", "Print the members of data packs in offset order: position, offset, size, "
                "CRC state (ok, bad, empty), name and the piece path an extraction would use");
    list->add_option("PACK", line.packs, "Data packs (*.tre)")->type_name("")->required();
    list->add_option("--target", line.target,
                     "Target directory of the piece paths (default: the current directory)")
        ->type_name("DIR");
    list->add_flag("--json", line.json, "Print JSON for scripts: one object per pack");
    list->callback([&line] { line.action = PackAction::List; });

    CLI::App* verify = app.add_subcommand(
        "verify", "Check every member of data packs against the CRC-32 of its directory entry "
                  "and that it lies inside the file; exit status 0 when every pack is sound");
    verify->add_option("PACK", line.packs, "Data packs (*.tre)")->type_name("")->required();
    verify->callback([&line] { line.action = PackAction::Verify; });
}

int RunList(const PackCommandLine& line) {
    RunState state;
    state.TargetDirectory = ResolveTarget(line.target, CurrentDirectory());
    BufferedStdout out;
    bool failed = false;
    bool first = true;
    if (line.json) {
        out << "[";
    }
    for (const std::string& typed : line.packs) {
        failed |= !CheckedPack(out, typed, [&] {
            OpenPack pack = ReadPack(typed);
            const std::vector<MemberCheck> checks = ChecksOf(pack);
            if (line.json) {
                out << (first ? "\n" : ",\n");
                ListJson(out, pack, state, checks);
            } else {
                if (line.packs.size() > 1) {
                    out << (first ? "" : "\n") << pack.path << ":\n";
                }
                ListText(out, pack, state, checks);
            }
            first = false;
        });
    }
    if (line.json) {
        out << "\n]\n";
    }
    return failed ? kExitFailed : kExitClean;
}

int RunVerify(const PackCommandLine& line) {
    BufferedStdout out;
    bool failed = false;
    bool unsound = false;
    for (const std::string& typed : line.packs) {
        failed |= !CheckedPack(out, typed, [&] {
            try {
                OpenPack pack = ReadPack(typed);
                for (const std::string& problem : Problems(pack)) {
                    out << SingleSeparators(problem) << "\n";
                    unsound = true;
                }
            } catch (const CorruptFileError& error) {
                // A directory that the file cannot hold: the pack is unsound, not the run.
                out << SingleSeparators(error.what()) << "\n";
                unsound = true;
            }
        });
    }
    out.Flush();
    return failed ? kExitFailed : unsound ? kExitResults : kExitClean;
}

} // namespace eitool::cli
