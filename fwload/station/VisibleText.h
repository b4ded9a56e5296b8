// Text that a device, a file or a user handed us, made safe to show: a serial number is whatever a
// chip's EEPROM holds, and a terminal obeys the control characters in what it is given.
#pragma once

#include <string>

// The text with every control character shown as an escape instead of sent raw: C0 controls and
// DEL as \x1b, the C1 controls and the invisible direction overrides of UTF-8 text as \u009b or
// \u202e. Everything else passes unchanged, bytes that are not UTF-8 included.
std::string VisibleText(const std::string& text);
