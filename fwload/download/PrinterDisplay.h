// The display lines written after a successful download: how a settings value ("T,R,LEFT,HELLO")
// becomes one write into the printer's display memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Splits a value into comma-separated fields: blanks and control characters (0x01 to 0x20) around
// fields are skipped, a field in double quotes may hold commas and blanks ("" stands for one quote),
// any other field ends at a comma or a blank, and a comma at the very end adds an empty field.
std::vector<std::string> SplitDisplayFields(const std::string& value);

// Pads a text to the 16-character display width: "LEFT" (any case) appends spaces, "RIGHT" puts
// them in front, anything else centres with an odd surplus going to the right. A text of 16
// characters or more is returned unchanged.
std::string AlignDisplayText(const std::string& text, const std::string& alignment);

constexpr std::size_t kDisplayWidth = 16;

// One display-memory write, as the settings line of a key asks for it.
struct DisplayLineWrite {
    enum class Call { None, Write, WriteEx };
    Call call = Call::None;  // None: the line writes nothing
    std::int32_t slot = 0;   // '0' + key - 1
    std::int32_t kind = 0;   // kind or attribute byte
    std::string text;
};

// What key number 1..4 with this value writes. Lines of an unknown kind, and "T" or "I" lines with
// fewer than four fields, write nothing.
DisplayLineWrite DescribeDisplayLine(int key, const std::string& value);
