// The d2xx-devices list: what each line adds, and what is named and skipped.
#include <sstream>

#include <gtest/gtest.h>

#include "DeviceIds.h"

namespace {

TEST(DeviceIds, EachLineIsAnIdOrNamedAndSkipped) {
    const struct {
        const char* line;
        std::vector<d2xx::UsbId> ids;
        const char* problem;  // nullptr: none
    } cases[] = {
        {"1234:ABCD", {{0x1234, 0xABCD}}, nullptr},
        {"  0403:f1a0   # our printers", {{0x0403, 0xF1A0}}, nullptr},
        {"1:2", {{0x0001, 0x0002}}, nullptr},
        {"# only a comment", {}, nullptr},
        {"   ", {}, nullptr},
        {"0:0", {}, "d2xx-devices:1: \"0:0\" is not VENDOR:PRODUCT (1 to 4 hex digits each, not zero); line skipped"},
        {"0403:60O1", {}, "d2xx-devices:1: \"0403:60O1\" is not VENDOR:PRODUCT (1 to 4 hex digits each, not zero); line skipped"},
        {"0403:16001", {}, "d2xx-devices:1: \"0403:16001\" is not VENDOR:PRODUCT (1 to 4 hex digits each, not zero); line skipped"},
        {"0403 : 6001", {}, "d2xx-devices:1: \"0403 : 6001\" is not VENDOR:PRODUCT (1 to 4 hex digits each, not zero); line skipped"},
        {"0403:", {}, "d2xx-devices:1: \"0403:\" is not VENDOR:PRODUCT (1 to 4 hex digits each, not zero); line skipped"},
        {"0x403:6001", {}, "d2xx-devices:1: \"0x403:6001\" is not VENDOR:PRODUCT (1 to 4 hex digits each, not zero); line skipped"},
    };
    for (const auto& c : cases) {
        std::istringstream list(c.line);
        std::vector<d2xx::UsbId> ids;
        std::vector<std::string> problems;
        d2xx::ReadDeviceIds(list, "d2xx-devices", ids, problems);
        EXPECT_EQ(ids, c.ids) << c.line;
        EXPECT_EQ(problems, c.problem ? std::vector<std::string>{c.problem} : std::vector<std::string>{}) << c.line;
    }
}

TEST(DeviceIds, LinesAreCountedAndAnIdIsKeptOnce) {
    std::istringstream list("0403:6001\n\n# ours\n1234:5678\nbad\n1234:5678\n");
    std::vector<d2xx::UsbId> ids{{0x0403, 0x6001}};
    std::vector<std::string> problems;
    d2xx::ReadDeviceIds(list, "/etc/d", ids, problems);
    EXPECT_EQ(ids, (std::vector<d2xx::UsbId>{{0x0403, 0x6001}, {0x1234, 0x5678}}));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].substr(0, 15), "/etc/d:5: \"bad\"");
}

}  // namespace
