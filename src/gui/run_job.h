// One whole save job in the progress window, as the Start button runs it
// once the destination is ready: the window shows the job modally and
// answers its questions, and closes when the job has finished.
#pragma once

#include "engine/save_job.h"

namespace leafstash {

// Runs the job for Request in the progress window; errors before the
// downloads go to the process's error report and show no window.
TJobOutcome RunSaveJob(TSaveRequest Request);

}  // namespace leafstash
