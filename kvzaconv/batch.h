// batch.h - many conversions at once, each file in a process of its own (so
// each gives exactly what it gives alone), with the progress of every
// running file on standard error and each failure reported by name.
#pragma once

#include <vector>

#include "args.h"
#include "convert.h"
#include "progress_display.h"

namespace kvzaconv {

// Runs the jobs, at most parallel at a time; returns how many failed. A
// cancel (Ctrl+C) lets the running files end as cancelled and starts no more.
size_t RunJobs(const std::vector<Job> &jobs, const Args &args, const SaveSettings &save,
               unsigned parallel, ProgressDisplay &display);

}  // namespace kvzaconv
