// The application title: the program's name in the desktop's task list.
// Each top-level window carries it as its icon text (what a task bar shows
// for the program), so window captions stay exactly as they are set; it is
// also the caption of the program's message boxes.
#pragma once

#include <QString>
#include <string>

namespace leafstash {

void SetApplicationTitle(const std::string& Title);

// Text as a window caption shows it: a "[*]" in it is not taken for the
// placeholder of a modified document.
QString AsCaption(const std::string& Text);
const std::string& ApplicationTitle();

}  // namespace leafstash
