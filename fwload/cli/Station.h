// fwload-cli station: every card printer attached, and each one plugged in later, flashed at once by
// a worker process of its own (fwload-cli --json aimed at it), once per printer, with a row each on
// a terminal and a record per attempt.
#pragma once

// argv[0] is "station"; returns the exit code.
int RunStation(int argc, const char* const argv[]);
