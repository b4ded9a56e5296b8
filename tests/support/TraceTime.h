// Reading the virtual printer's trace: when a call happened.
#pragma once

#include <string>

// Seconds of the first trace line after `from` that contains `text`; -1 when there is none.
inline double TraceTime(const std::string& trace, const std::string& text, std::size_t& from) {
    const std::size_t at = trace.find(text, from);
    if (at == std::string::npos) return -1;
    const std::size_t lineStart = trace.rfind('\n', at) == std::string::npos ? 0 : trace.rfind('\n', at) + 1;
    from = at + text.size();
    return std::stod(trace.substr(lineStart, at - lineStart));
}
