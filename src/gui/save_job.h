// One whole save job in the progress window, as the Start button runs it
// once the destination is ready: the table is filled with the page, its
// frames and the checked links, the progress window runs the job modally,
// and everything is released again (the table writes the job log).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/save_job_setup.h"
#include "engine/url_list.h"

namespace leafstash {

struct TSaveJobResult {
  // False when the earlier job's log could not be read or what comes
  // before the window could not be done.
  bool Ran = false;
};

// Runs the job for the page of the process values (PageURL, PageTitle,
// BrowserWindow, DestPath, Settings) on URLList, which it takes over and
// destroys at the end; WarningFile, when given, is deleted afterwards.
// BeforeWindow, when given, runs once the table is filled; when it returns
// false the progress window is not shown, and the rest runs as after a job.
TSaveJobResult RunSaveJob(std::unique_ptr<TURLListMan> URLList,
                          const std::vector<TCheckedLink>& CheckedLinks,
                          const std::string& WarningFile = "",
                          const std::function<bool()>& BeforeWindow = {});

}  // namespace leafstash
