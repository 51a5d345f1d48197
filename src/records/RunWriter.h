#pragma once
// Which program writes a run, so that a store can tell a run that is still
// going (another station on this PC) from one whose program died (power cut,
// kill -9) and show the latter as ABORTED.

#include <string>

// This process: "host boot-id pid start-ticks".
std::string ThisRunWriter();
// False when the writer was a process on this host that no longer runs (or
// ran before the last boot); true while it runs, and for writers on other
// hosts, whose life this station cannot see.
bool RunWriterMayBeAlive(const std::string& writer);
