// How long something took, as a station shows it.
#pragma once

#include <string>

// 1:05, rounded to the second.
std::string MinutesSeconds(double seconds);
