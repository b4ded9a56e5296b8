// The ids the free D2XX library looks for; see DeviceIds.h.
#include "DeviceIds.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <set>

namespace d2xx {
namespace {

constexpr std::uint16_t kFtdiVendor = 0x0403;
constexpr std::uint16_t kStandardProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015};
constexpr char kDeviceListFile[] = "/etc/cardprinter-suite/d2xx-devices";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// 1 to 4 hex digits, not zero.
bool ParseHexId(const std::string& text, std::uint16_t& id) {
    if (text.empty() || text.size() > 4) return false;
    unsigned value = 0;
    for (char c : text) {
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    id = static_cast<std::uint16_t>(value);
    return value != 0;
}

}  // namespace

void ReadDeviceIds(std::istream& list, const std::string& fileName, std::vector<UsbId>& ids,
                   std::vector<std::string>& problems) {
    std::string line;
    for (int number = 1; std::getline(list, line); ++number) {
        std::string entry = line.substr(0, line.find('#'));
        const auto first = std::find_if_not(entry.begin(), entry.end(), IsBlank);
        const auto last = std::find_if_not(entry.rbegin(), entry.rend(), IsBlank).base();
        entry = first < last ? std::string(first, last) : std::string();
        if (entry.empty()) continue;
        const std::size_t colon = entry.find(':');
        UsbId id;
        if (colon == std::string::npos || !ParseHexId(entry.substr(0, colon), id.first) ||
            !ParseHexId(entry.substr(colon + 1), id.second)) {
            problems.push_back(fileName + ":" + std::to_string(number) + ": \"" + entry +
                               "\" is not VENDOR:PRODUCT (1 to 4 hex digits each, not zero); line skipped");
            continue;
        }
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    }
}

std::vector<UsbId> DeviceIds() {
    std::vector<UsbId> ids;
    for (std::uint16_t product : kStandardProducts) ids.emplace_back(kFtdiVendor, product);
    const char* override = std::getenv("CARDPRINTER_D2XX_DEVICES");
    const std::string fileName = override != nullptr ? override : kDeviceListFile;
    std::ifstream list(fileName);
    std::vector<std::string> problems;
    ReadDeviceIds(list, fileName, ids, problems);
    static std::mutex reportedMutex;
    static std::set<std::string> reported;
    std::lock_guard<std::mutex> lock(reportedMutex);
    for (const std::string& problem : problems) {
        if (reported.insert(problem).second) std::fprintf(stderr, "libftd2xx: %s\n", problem.c_str());
    }
    return ids;
}

}  // namespace d2xx
