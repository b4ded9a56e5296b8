// Reading the virtual printer's trace: when a call happened, and what the printer was sent.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"

// Seconds of the first trace line after `from` that contains `text`; -1 when there is none.
inline double TraceTime(const std::string& trace, const std::string& text, std::size_t& from) {
    const std::size_t at = trace.find(text, from);
    if (at == std::string::npos) return -1;
    const std::size_t lineStart = trace.rfind('\n', at) == std::string::npos ? 0 : trace.rfind('\n', at) + 1;
    from = at + text.size();
    return std::stod(trace.substr(lineStart, at - lineStart));
}

// The bytes a printer received, from a trace file: every accepted write, in order.
inline std::vector<std::string> WrittenBytes(const std::string& traceFile) {
    std::vector<std::string> writes;
    std::istringstream lines(ReadWholeFile(traceFile));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t call = line.find(" FT_Write(");
        if (call != std::string::npos) writes.push_back(line.substr(call));
    }
    return writes;
}
