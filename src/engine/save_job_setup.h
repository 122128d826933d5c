// What every face does around a save job: fills the URL table with the
// page, its frames and the chosen links, writes the in-use warning file,
// and afterwards removes it and lets the table write the job log.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/url_list.h"

namespace leafstash {

struct TCheckedLink {
  std::string Href;  // the address as the browser reported it
  std::string Text;  // the link text
};

// Gives the session the cookies the browser handed over, then fills List
// (the process's URL table) for the page of the process values:
// with SkipExisting the earlier job's log first, then the page as
// INDEX.HTML, its frames and the checked links; leftovers of a killed job
// are removed and the log is kept current from here on. False, with the
// error reported, when the earlier log cannot be read: there is no job,
// and that log is kept.
bool PrepareSaveJob(TURLListMan& List, const std::vector<TCheckedLink>& CheckedLinks);

// The in-use warning file of a destination folder (ending in "/").
std::string WarningFilePath(const std::string& DestPath);
// Writes it anew; throws TFileError.
void WriteWarningFile(const std::string& Path);

// After the job: deletes WarningFile when given (a failure is reported),
// destroys the table, which writes the job log, and lets go of the
// browser window and of what the browser handed over, cookies included.
void FinishSaveJob(std::unique_ptr<TURLListMan> List, const std::string& WarningFile);

}  // namespace leafstash
