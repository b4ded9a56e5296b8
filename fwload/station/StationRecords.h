// A station's records: the log (a JSON line per attempt, synced to the disk as each attempt ends,
// and read back at the next start as the station's memory), and the CSV and JUnit reports, all
// written from the typed records. What a printer's chip says stays exact in the log; a CSV cell
// that a spreadsheet would take for a formula is defused, and the JUnit report is well-formed XML
// whatever a serial number holds.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "Files.h"
#include "StationModel.h"

// What every record of one station run says alike.
struct StationJob {
    std::string station;  // this computer's name
    std::string operatorName;
    std::string version;
    std::string file;  // the firmware file, as given
    long long size = 0;
    std::uint16_t byteSum = 0;
    std::string sha256;
    std::string model;
    std::string mode;  // "standard" or "fast"
};

// The record as a JSON object: the log's line, and --json's "ended" event.
nlohmann::json RecordJson(const StationJob& job, const AttemptRecord& record);

// The records as CSV (a header, then a line per attempt, CRLF) and as a JUnit report.
std::string CsvReport(const StationJob& job, const std::vector<AttemptRecord>& records);
std::string JUnitReport(const StationJob& job, const std::vector<AttemptRecord>& records, double seconds);
// A CSV cell: quoted when it must be, and with a leading apostrophe when a spreadsheet would read
// it as a formula (it begins with =, +, -, @, TAB or CR).
std::string CsvCell(const std::string& text);
// Text for XML 1.0, in UTF-8: markup characters escaped, the characters XML forbids (most
// controls, bytes that are not UTF-8) shown as \x1b.
std::string XmlText(const std::string& text);

// What the log of earlier station runs remembers.
struct StationMemory {
    std::set<std::string> passed;       // serials whose latest record for the firmware passed
    std::vector<std::string> problems;  // lines that are not records, named once each
    bool endsMidLine = false;           // the last line was cut off as it was written
};
// Reads the log for the firmware with this SHA-256; a log that does not exist remembers nothing.
// Printers that were known by their port are not remembered: another may have the same serial.
StationMemory ReadStationMemory(const std::string& path, const std::string& sha256);

// The --log file, opened and checked before any printer is flashed; one synced append per record.
class StationLog {
public:
    // Opens the log (creating it); false with "PATH: the system's reason". A log whose last line was
    // cut off gets the rest of that line first, so the next record starts a line of its own.
    bool Open(const std::string& path, bool endsMidLine, std::string& problem);
    // Appends the record as a line, synced to the disk; false with the reason.
    bool Append(const StationJob& job, const AttemptRecord& record, std::string& problem);
    bool IsOpen() const { return file_.IsOpen(); }

private:
    std::string path_;
    platform::RecordFile file_;
};
