// Location ids: the port path as lsusb -t writes it, and back.
#include <gtest/gtest.h>

#include "LocationId.h"

TEST(LocationId, APortPathAndItsIdTurnIntoEachOther) {
    const struct {
        const char* text;
        std::uint32_t id;       // 0: the text is refused
        const char* shownAs;  // how the id is written back
    } cases[] = {
        {"1-2.3", 0x01230000u, "1-2.3"},
        {"255-15.15.15.15.15.15", 0xFFFFFFFFu, "255-15.15.15.15.15.15"},
        {"0x00001234", 0x1234u, "0x00001234"},  // FTDI's own numbering, kept in hex
        {"0X1B2", 0x1B2u, "0x000001B2"},
        {"1-16", 0, ""},                          // no hub has 16 ports
        {"1-1.1.1.1.1.1.1", 0, ""},               // deeper than six
        {"0-1", 0, ""},
        {"1-2-3", 0, ""},
        {"1.2-3", 0, ""},
        {"1-2..3", 0, ""},
        {"12", 0, ""},
        {"0x0", 0, ""},
    };
    for (const auto& c : cases) {
        const std::optional<std::uint32_t> id = d2xx::ParseLocation(c.text);
        EXPECT_EQ(id.value_or(0), c.id) << c.text;
        if (id) {
            EXPECT_EQ(d2xx::LocationText(*id), c.shownAs) << c.text;
        }
    }
    EXPECT_EQ(d2xx::LocationText(0), "-");
    EXPECT_EQ(d2xx::LocationText(0x01203000u), "0x01203000");  // a port after the path's end
}
