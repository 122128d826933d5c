// The process a browser starts as its native messaging host.
//
// A browser kills the host it lets go of (Chromium two seconds after, with
// SIGKILL; Firefox three seconds after, with SIGTERM), so the start window
// and the save job cannot live in it. The host reads the browser's first
// request, starts the program in a session of its own with "-Embedding" and
// a connection on descriptor 3, hands the request on and the answer back,
// and passes later requests the same way. When the browser lets go (the end
// of the host's input) or kills the host, the connection closes: that is
// the browser releasing its reference, and the program goes on as it says.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace leafstash {

// Names the program's connection to its client (set only by the host).
inline constexpr const char* kConnectionFdVariable = "LEAFSTASH_CONNECTION_FD";
// Where the program started by the host writes its standard error (the
// browser's own must not be held): this file when set, otherwise
// leafstash.log in $XDG_STATE_HOME/leafstash/ (~/.local/state/leafstash/).
inline constexpr const char* kHostLogVariable = "LEAFSTASH_HOST_LOG";
// The answer to every request after the first.
inline constexpr std::string_view kOnePagePerStart =
    "Leafstash takes one page per start: this request was refused";

// True for the arguments a browser starts its host with: Chromium's caller
// origin ("chrome-extension://ID/", perhaps with "--parent-window=N"), or
// Firefox's manifest path and extension ID.
bool IsBrowserLaunch(const std::vector<std::string>& Args);

// Serves the browser on standard input and output until it lets go; starts
// the program at ExePath for the first request that is a page snapshot.
// Returns the exit status: 0, or 1 when the framing itself was broken
// (a line on standard error says how).
int RunHostRelay(const std::string& ExePath);

// In the program: the connection the host left it, or -1. The variable is
// removed and the descriptor kept from children, so that nothing the
// program starts holds the client's reference.
int TakeClientConnection();

}  // namespace leafstash
