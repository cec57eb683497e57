#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace eitool {

// The five file types of the open dialog, in order. Position p (counted from 1, as the dialog's
// filter index) indexes both tables; the arrays here are indexed p - 1.
// NOTE: positions 4 and 5 map to kinds 5 and 4: a project list is kind 5, a log kind 4.
inline constexpr std::array<std::uint8_t, 5> KindByType = {1, 2, 3, 5, 4};
inline constexpr std::array<std::string_view, 5> FormatTags = {"TRE", "BTE", "FNT", "", ""};
inline constexpr std::array<std::string_view, 5> FileTypeTexts = {
    "Data Packs (*.tre)", "Extended Images (*.bmpx,*.tgax)", "Fints (*.fnt)",
    "Project list files (*.lst)", "Log files (*.log)"};
inline constexpr std::array<std::string_view, 5> FileTypeMasks = {"*.tre", "*.bmpx;*.tgax",
                                                                  "*.fnt", "*.lst", "*.log"};
inline constexpr std::string_view kOpenDialogFilter =
    "Data Packs (*.tre)|*.tre|Extended Images (*.bmpx,*.tgax)|*.bmpx;*.tgax|Fints (*.fnt)|*.fnt|"
    "Project list files (*.lst)|*.lst|Log files (*.log)|*.log";

// The format tag of an input kind: the tag at the position whose kind it is ("" for 4 and 5 and
// for unknown kinds).
std::string_view TagOfKind(std::uint8_t kind);

// The inserter kind of a "#Format:" tag: the kind at the first position whose tag equals it, or 6
// (none). An empty tag never matches.
std::uint8_t KindOfTag(std::string_view tag);

} // namespace eitool
