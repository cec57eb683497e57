#pragma once

#include "run/RunContext.h"

#include <string>
#include <string_view>

namespace eitool {

// Shows verb, the file name of path and "..." as the status text ("Processing data.tre...") and
// lets pending messages be dispatched.
void ShowFileStatus(RunContext& run, std::string_view verb, const std::string& path);

// Whether two paths name one file (both resolved, links followed); false when either cannot be
// resolved.
bool IsSameFile(const std::string& a, const std::string& b);

} // namespace eitool
