#pragma once

#include "run/StatusSurface.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace eitool::demo {

// What the front end lends the demo: where the report goes, and a status surface that shows the
// progress of one run through the form model.
class DemoHost {
public:
    virtual ~DemoHost() = default;

    // Report text (lines ended by "\n"), written at once.
    virtual void Report(const std::string& text) = 0;
    // An error message for the user, apart from the report.
    virtual void ReportError(const std::string& text) = 0;

    // A surface for one run; results lines are kept, not shown. CloseRunSurface takes its display
    // away again, whether the run completed or failed.
    virtual std::unique_ptr<StatusSurface> OpenRunSurface() = 0;
    virtual void CloseRunSurface(StatusSurface& surface) = 0;
};

// The demo directory holds files that an earlier demo did not make.
class ForeignDirectoryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole cycle on generated sample files in root (made when missing; cleared when an earlier
// demo made it): make, extract, edit, insert, check, with a short report through the host.
// Returns whether every check passed; throws ForeignDirectoryError before anything is written
// when root holds other files.
bool RunDemo(DemoHost& host, const std::string& root);

} // namespace eitool::demo
