#include "app/RunSummary.h"

#include <cstdio>

namespace eitool {

namespace {

std::string Plural(std::uint64_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace

std::string BytesText(std::uint64_t bytes) {
    if (bytes < 1024) {
        return Plural(bytes, "byte", "bytes");
    }
    const char* unit = "KiB";
    double value = static_cast<double>(bytes) / 1024.0;
    if (value >= 1024.0) {
        value /= 1024.0;
        unit = "MiB";
    }
    if (value >= 1024.0) {
        value /= 1024.0;
        unit = "GiB";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f %s (%llu bytes)", value, unit,
                  static_cast<unsigned long long>(bytes));
    return text;
}

std::string SecondsText(double seconds) {
    char text[32];
    if (seconds < 1.0) {
        std::snprintf(text, sizeof text, "%.3f s", seconds);
    } else if (seconds < 10.0) {
        std::snprintf(text, sizeof text, "%.2f s", seconds);
    } else {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    }
    return text;
}

PiecesDone PiecesDoneOf(const RunState& state) {
    if (state.InputKind != kKindLogs && state.InputKind != kKindProjectList) {
        return PiecesDone::Written;
    }
    return state.DryRun ? PiecesDone::Checked : PiecesDone::Inserted;
}

std::string SummaryLine(const RunStats& stats, double seconds, PiecesDone done) {
    const char* verb = done == PiecesDone::Written    ? " written"
                       : done == PiecesDone::Inserted ? " inserted"
                                                      : " checked";
    return Plural(stats.files, "file", "files") + ", " + Plural(stats.pieces, "piece", "pieces") +
           verb + ", " + BytesText(stats.bytes) + " in " + SecondsText(seconds) +
           (stats.piecesFromIndex == 0
                ? ""
                : "; " + Plural(stats.piecesFromIndex, "unchanged piece", "unchanged pieces") +
                      " known from the index");
}

std::string MissingPiecesLine(const RunStats& stats) {
    if (stats.piecesMissing == 0) {
        return {};
    }
    return std::to_string(stats.piecesMissing) + " of " + std::to_string(stats.piecesNamed) +
           " pieces named by the logs were not found";
}

std::string RunSummary(const RunStats& stats, double seconds, PiecesDone done) {
    const std::string missing = MissingPiecesLine(stats);
    return SummaryLine(stats, seconds, done) + (missing.empty() ? "" : "; " + missing);
}

} // namespace eitool

namespace eitool {

std::string StoppedLine(bool aborted, std::size_t handled, std::size_t total) {
    const std::size_t left = total > handled ? total - handled : 0;
    return std::string(aborted ? "Aborted: " : "Stopped: ") + std::to_string(handled) + " of " +
           std::to_string(total) + (total == 1 ? " file" : " files") + " handled, " +
           std::to_string(left) + " left";
}

} // namespace eitool
