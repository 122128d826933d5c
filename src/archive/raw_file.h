// File calls the archive writers share: nameless work files in a folder
// and writes that report errno's text.
#pragma once

#include <cstddef>
#include <string>

namespace leafstash {

// A file in Folder that no name leads to (made, opened and unlinked), so
// that nothing is left behind whatever happens to the process; -1 with
// the reason in Why when it cannot be made.
int OpenNamelessFile(const std::string& Folder, std::string& Why);
// Writes all of Data; false with the reason in Why.
bool WriteAll(int Fd, const char* Data, std::size_t Size, std::string& Why);

}  // namespace leafstash
