// What fwload-cli tells a user about a failed download: one sentence from the engine's record.
#pragma once

#include <string>

#include "DownloadFailure.h"

// "the printer refused data frame 41 (result code 0x15) after 20,992 of 65,554 bytes"
std::string DescribeFailure(const DownloadFailure& failure);
