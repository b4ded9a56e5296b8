// What a user is told about a failed download: one sentence from the engine's record, which
// fwload-cli prints and fwload's status line holds as its tooltip.
#pragma once

#include <string>

#include "DownloadFailure.h"

// "the printer refused data frame 41 (result code 0x15) after 20,992 of 65,554 bytes"
std::string DescribeFailure(const DownloadFailure& failure);

// What comes before the reason when only the display set-up failed.
inline constexpr char kDisplayNotSetUp[] = "the firmware is in the printer and checked, but its display was not set up: ";
