#pragma once
// The texts the window shows for what the core reports as values.
#include <QString>

#include "link/error_report.h"
#include "mapping/progress.h"

namespace vendra {

// The progress label: empty before the first step, then "Downloading  n", "Mapping  k" (the
// line just sent, counted from 0), "Changing  n" or "Verifying  n".
QString ProgressCaption(const ProgressReport& progress);
// The error line: empty, "Comm Error!" for a failed command, or the message's words.
QString ErrorCaption(const ErrorReport& error);

}  // namespace vendra
