// The station's log, memory and reports.
#include "StationRecords.h"

#include <cstdio>
#include <map>
#include <sstream>

#include "Clock.h"
#include "FirmwareFacts.h"
#include "JsonText.h"
#include "Terminal.h"

namespace {

// The record's fields, in the order CSV columns take them.
const char* const kCsvFields[] = {"started",  "ended",    "station",   "operator", "version",    "file",
                                  "size",     "byte_sum", "sha256",    "model",    "mode",       "serial",
                                  "location", "outcome",  "exit_code", "message",  "duration_ms"};

std::string Iso8601(std::chrono::system_clock::time_point when) {
    const std::tm utc = platform::CalendarTime(std::chrono::system_clock::to_time_t(when), true);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms));
    return text;
}

// The code point of the well-formed UTF-8 sequence at text[i] and its length; 0 when there is none.
std::size_t DecodeUtf8(const std::string& text, std::size_t i, std::uint32_t& codePoint) {
    const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, minimum = 0x80, codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, minimum = 0x800, codePoint = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, minimum = 0x10000, codePoint = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        codePoint = codePoint << 6 | (byte(i + k) & 0x3Fu);
    }
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return codePoint < minimum || codePoint > 0x10FFFF || surrogate ? 0 : length;
}

bool XmlAllows(std::uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// A JUnit test case's name: the serial number, and the port for a printer known by it.
std::string CaseName(const AttemptRecord& record) {
    if (!record.knownByPort) return record.serial;
    return (record.serial.empty() ? std::string("(no serial)") : record.serial) + " at " + record.location;
}

std::string Seconds(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}

}  // namespace

nlohmann::json RecordJson(const StationJob& job, const AttemptRecord& record) {
    return nlohmann::json{{"started", Iso8601(record.started)},
                          {"ended", Iso8601(record.ended)},
                          {"station", job.station},
                          {"operator", job.operatorName},
                          {"version", job.version},
                          {"file", job.file},
                          {"size", job.size},
                          {"byte_sum", Hex4(job.byteSum)},
                          {"sha256", job.sha256},
                          {"model", job.model},
                          {"mode", job.mode},
                          {"serial", record.serial},
                          {"location", record.location},
                          {"known_by", record.knownByPort ? "port" : "serial"},
                          {"outcome", record.outcome},
                          {"exit_code", record.exitCode},
                          {"message", record.message},
                          {"duration_ms", record.durationMs}};
}

std::string CsvCell(const std::string& text) {
    // A cell that a spreadsheet would evaluate is made text, as spreadsheet-injection guidance advises.
    const std::string cell =
        !text.empty() && std::string("=+-@\t\r").find(text[0]) != std::string::npos ? "'" + text : text;
    if (cell.find_first_of(",\"\r\n") == std::string::npos) return cell;
    std::string quoted = "\"";
    for (char c : cell) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string CsvReport(const StationJob& job, const std::vector<AttemptRecord>& records) {
    std::string csv;
    for (const char* field : kCsvFields) csv += (csv.empty() ? "" : ",") + std::string(field);
    csv += "\r\n";
    for (const AttemptRecord& record : records) {
        const nlohmann::json fields = RecordJson(job, record);
        std::string line;
        for (const char* field : kCsvFields) {
            const nlohmann::json& value = fields[field];
            line += (line.empty() ? "" : ",") + (value.is_string() ? CsvCell(value.get<std::string>()) : value.dump());
        }
        csv += line + "\r\n";
    }
    return csv;
}

std::string XmlText(const std::string& system) {
    const std::string text = platform::SystemTextToUtf8(system);
    std::string escaped;
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t c = 0;
        const std::size_t length = DecodeUtf8(text, i, c);
        char visible[12];
        if (length == 0) {
            std::snprintf(visible, sizeof visible, "\\x%02x", static_cast<unsigned char>(text[i]));
            escaped += visible;
            ++i;
            continue;
        }
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            // Kept as they are even inside an attribute, where a parser would turn them into blanks.
            case '\t': escaped += "&#9;"; break;
            case '\n': escaped += "&#10;"; break;
            case '\r': escaped += "&#13;"; break;
            default:
                if (XmlAllows(c)) {
                    escaped.append(text, i, length);
                } else if (c < 0x80) {
                    std::snprintf(visible, sizeof visible, "\\x%02x", static_cast<unsigned>(c));
                    escaped += visible;
                } else {
                    std::snprintf(visible, sizeof visible, "\\u%04x", static_cast<unsigned>(c));
                    escaped += visible;
                }
        }
        i += length;
    }
    return escaped;
}

std::string JUnitReport(const StationJob& job, const std::vector<AttemptRecord>& records, double seconds) {
    std::size_t failures = 0;
    for (const AttemptRecord& record : records) failures += record.Passed() ? 0 : 1;
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuite name=\"fwload-cli station " +
                      XmlText(job.model) + "\" tests=\"" + std::to_string(records.size()) + "\" failures=\"" +
                      std::to_string(failures) + "\" errors=\"0\" time=\"" + Seconds(seconds) + "\" hostname=\"" +
                      XmlText(job.station) + "\">\n";
    for (const AttemptRecord& record : records) {
        xml += "  <testcase classname=\"" + XmlText(job.model) + "\" name=\"" + XmlText(CaseName(record)) +
               "\" time=\"" + Seconds(static_cast<double>(record.durationMs) / 1000.0) + "\"";
        if (record.Passed()) {
            xml += "/>\n";
            continue;
        }
        const std::string what = record.outcome + " (exit " + std::to_string(record.exitCode) + "): " + record.message;
        xml += ">\n    <failure message=\"" + XmlText(record.message) + "\" type=\"" + XmlText(record.outcome) + "\">" +
               XmlText(what) + "</failure>\n  </testcase>\n";
    }
    return xml + "</testsuite>\n";
}

StationMemory ReadStationMemory(const std::string& path, const std::string& sha256) {
    StationMemory memory;
    // Only a file remembers: a device or a pipe given as the log is never read (it may not end).
    platform::ReadOnlyFile file;
    if (!file.Open(path)) return memory;
    std::string text;
    char chunk[65536];
    for (std::size_t got; (got = file.Read(chunk, sizeof chunk)) > 0;) text.append(chunk, got);
    std::map<std::string, bool> latest;  // serial -> its latest record for this firmware passed
    std::size_t number = 0;
    for (std::size_t start = 0; start < text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        const bool whole = end != std::string::npos;
        if (!whole) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line == "\r") continue;
        const nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        const bool usable = record.is_object() && record.value("sha256", nlohmann::json()).is_string() &&
                            record.value("serial", nlohmann::json()).is_string() &&
                            record.value("exit_code", nlohmann::json()).is_number_integer();
        if (!whole) {
            // A power cut mid-write leaves the last line cut off: it records nothing.
            memory.endsMidLine = true;
            memory.problems.push_back(path +
                                      ": its last line is not a whole record (cut off as it was written); "
                                      "it is skipped");
            break;
        }
        if (!usable) {
            memory.problems.push_back(path + ": line " + std::to_string(number + 1) +
                                      " is not a record; it is skipped");
            continue;
        }
        const std::string serial = record["serial"];
        if (record["sha256"] != sha256 || serial.empty() || record.value("known_by", "serial") == "port") continue;
        latest[serial] = record["exit_code"] == 0;
    }
    for (const auto& [serial, passed] : latest) {
        if (passed) memory.passed.insert(serial);
    }
    return memory;
}

bool StationLog::Open(const std::string& path, bool endsMidLine, std::string& problem) {
    path_ = path;
    std::string reason;
    if (!file_.Open(path, reason) || (endsMidLine && !file_.Append("\n", reason))) {
        file_.Close();
        problem = path + ": " + reason;
        return false;
    }
    return true;
}

bool StationLog::Append(const StationJob& job, const AttemptRecord& record, std::string& problem) {
    std::string reason;
    if (file_.Append(JsonText(RecordJson(job, record)) + "\n", reason)) return true;
    problem = path_ + ": " + reason;
    return false;
}
