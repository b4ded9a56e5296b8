// fwload-cli's JSON lines: valid JSON whatever bytes a path or a message holds.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

// The value as one line of JSON. Its strings are the system's texts, made UTF-8 (from the ANSI code
// page on Windows); bytes that are still not UTF-8 become U+FFFD, so a name in another encoding
// never ends the run.
std::string JsonText(nlohmann::json value);
