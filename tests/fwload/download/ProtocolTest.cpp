// CRC-16, the firmware file's header and byte sum, the request frames and the reply check.
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "DownloadFrames.h"
#include "Files.h"
#include "FirmwareImage.h"
#include "TempDir.h"
#include "crc16.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAreArray;

std::uint16_t CrcOf(const std::string& text) {
    std::uint16_t crc = 0;
    UpdateCrc16(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<std::uint16_t>(text.size()), crc);
    return crc;
}

// The CRC computed bit by bit from its definition, to check the table against.
std::uint16_t BitwiseCrc(const Bytes& bytes) {
    std::uint16_t reg = 0;
    for (std::uint8_t byte : bytes) {
        reg ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & 0x8000) ? static_cast<std::uint16_t>((reg << 1) ^ 0x8005) : static_cast<std::uint16_t>(reg << 1);
        }
    }
    return reg;
}

TEST(Crc16, MatchesThePublishedCheckValues) {
    EXPECT_EQ(CrcOf("123456789"), 0xFEE8);
    EXPECT_EQ(CrcOf("abc"), 0xCADB);
    EXPECT_EQ(CrcOf(std::string("\x02\x40\x03")), 0x0027);
}

TEST(Crc16, TableMatchesTheBitwiseDefinition) {
    EXPECT_EQ(Crc16Table[0x00], 0x0000);
    EXPECT_EQ(Crc16Table[0x01], 0x8005);
    EXPECT_EQ(Crc16Table[0x02], 0x800F);
    EXPECT_EQ(Crc16Table[0x03], 0x000A);
    EXPECT_EQ(Crc16Table[0x80], 0x8303);
    EXPECT_EQ(Crc16Table[0xFF], 0x0202);
    for (unsigned i = 0; i < 256; ++i) {
        // Entry i is the register after feeding the single byte i into a zero register.
        EXPECT_EQ(Crc16Table[i], BitwiseCrc({static_cast<std::uint8_t>(i)})) << "entry " << i;
    }
}

TEST(Crc16, RegisterIsTheCallersAndCarriesAcrossCalls) {
    Bytes data(1000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::uint16_t whole = 0;
    UpdateCrc16(data.data(), static_cast<std::uint16_t>(data.size()), whole);
    EXPECT_EQ(whole, BitwiseCrc(data));

    std::uint16_t parts = 0;
    UpdateCrc16(data.data(), 300, parts);
    UpdateCrc16(data.data() + 300, 700, parts);
    EXPECT_EQ(parts, whole);

    std::uint16_t untouched = 0xBEEF;
    UpdateCrc16(data.data(), 0, untouched);
    EXPECT_EQ(untouched, 0xBEEF);
}

TEST(FirmwareHeader, AcceptsExactlyTheHeaderText) {
    const std::string header = "[NOV Card Printer]";
    const auto test = [](const std::string& bytes) {
        return IsFirmwareHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    };
    EXPECT_TRUE(test(header));
    EXPECT_TRUE(test(header + "anything after it"));
    EXPECT_FALSE(test("[nov card printer]"));
    EXPECT_FALSE(test(header.substr(0, 17)));
    EXPECT_FALSE(test(std::string("[NOV Card\0Printer]", 18)));
    EXPECT_FALSE(test("[NOV Card Printer}"));
    EXPECT_FALSE(test(""));
}

class ByteSum : public ::testing::Test {
protected:
    std::uint16_t SumOf(const Bytes& image) {
        std::string file(kFirmwareHeader);
        file.append(image.begin(), image.end());
        platform::ReadOnlyFile stream;
        EXPECT_TRUE(stream.Open(dir_.Write("image.bin", file)));
        std::vector<std::uint8_t> buffer(65536);
        std::uint16_t sum = 0xFFFF;
        EXPECT_TRUE(ComputeImageByteSum(stream, buffer.data(), sum));
        return sum;
    }
    TempDir dir_;
};

TEST_F(ByteSum, WrapsModulo65536OverImagesLargerThanOneRead) {
    EXPECT_EQ(SumOf(Bytes(70000, 0xFF)), 0x5E90);
    Bytes everyValue(256);
    for (int i = 0; i < 256; ++i) everyValue[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(SumOf(everyValue), 0x7F80);
    EXPECT_EQ(SumOf({}), 0x0000);
    // Exactly one full read, then an empty one.
    EXPECT_EQ(SumOf(Bytes(65535, 0x01)), 0xFFFF);
}

TEST(Frames, FixedFramesAreByteExact) {
    std::uint8_t buffer[16] = {};
    ASSERT_EQ(BuildModeChangeCommand(buffer), 4u);
    EXPECT_THAT(Bytes(buffer, buffer + 4), ElementsAreArray({0x1B, 0x52, 0x44, 0x0D}));
    ASSERT_EQ(BuildPollFrame(buffer), 5u);
    EXPECT_THAT(Bytes(buffer, buffer + 5), ElementsAreArray({0x02, 0x40, 0x03, 0x00, 0x27}));
    ASSERT_EQ(BuildWriteToMemoryFrame(buffer), 5u);
    EXPECT_THAT(Bytes(buffer, buffer + 5), ElementsAreArray({0x02, 0x42, 0x03, 0x8C, 0x24}));
    ASSERT_EQ(BuildChecksumFrame(buffer, 0x1234), 7u);
    EXPECT_THAT(Bytes(buffer, buffer + 7), ElementsAreArray({0x02, 0x43, 0x12, 0x34, 0x03, 0x05, 0x8F}));
    ASSERT_EQ(BuildChecksumFrame(buffer, 0x0006), 7u);
    EXPECT_THAT(Bytes(buffer, buffer + 7), ElementsAreArray({0x02, 0x43, 0x00, 0x06, 0x03, 0x28, 0xE4}));
}

TEST(Frames, DataFrameIsAlways519BytesWithZeroPadding) {
    Bytes buffer(65536, 0);
    PutDataFrameHead(buffer.data(), 0);
    ASSERT_EQ(CompleteDataFrame(buffer.data()), 519u);
    EXPECT_THAT(Bytes(buffer.begin() + 516, buffer.begin() + 519), ElementsAreArray({0x03, 0xDA, 0xF0}));

    std::fill(buffer.begin(), buffer.end(), 0);
    PutDataFrameHead(buffer.data(), 0);
    buffer[4] = 0x01;
    buffer[5] = 0x02;
    buffer[6] = 0x03;
    ASSERT_EQ(CompleteDataFrame(buffer.data()), 519u);
    EXPECT_THAT(Bytes(buffer.begin(), buffer.begin() + 7), ElementsAreArray({0x02, 0x41, 0x00, 0x00, 0x01, 0x02, 0x03}));
    EXPECT_EQ(Bytes(buffer.begin() + 7, buffer.begin() + 516), Bytes(509, 0));
    EXPECT_THAT(Bytes(buffer.begin() + 516, buffer.begin() + 519), ElementsAreArray({0x03, 0x73, 0xB1}));

    PutDataFrameHead(buffer.data(), 0xA1B2);
    EXPECT_EQ(buffer[2], 0xA1);
    EXPECT_EQ(buffer[3], 0xB2);
}

Bytes Reply(std::uint8_t code, std::uint8_t letter) {
    Bytes reply(kReplyLength);
    BuildReply(reply.data(), code, letter);
    return reply;
}

bool Check(const Bytes& reply, std::string stage = "") {
    return CheckReply(reply.data(), reply.size(), stage);
}

TEST(ReplyCheck, SixByteRepliesNeedTheirCrcAndAnAcceptedCode) {
    EXPECT_EQ(Reply(0x30, 0x40), (Bytes{0x02, 0x30, 0x40, 0x03, 0x2B, 0xCF}));
    EXPECT_TRUE(Check({0x02, 0x30, 0x40, 0x03, 0x2B, 0xCF}));
    EXPECT_FALSE(Check({0x02, 0x30, 0x40, 0x03, 0x2B, 0xCE}));

    struct Row {
        std::uint8_t letter;
        std::uint8_t code;
        bool accepted;
    };
    const Row rows[] = {
        {0x40, 0x15, false}, {0x40, 0x31, true}, {0x41, 0x15, false}, {0x41, 0x32, true},
        {0x42, 0x31, false}, {0x42, 0x32, false}, {0x42, 0x15, false}, {0x42, 0x30, true},
        {0x43, 0x31, false}, {0x43, 0x15, false}, {0x43, 0x32, true},  {0x43, 0x30, true},
        {0x44, 0x30, false}, {0x00, 0x30, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Check(Reply(row.code, row.letter)), row.accepted)
            << "letter " << int(row.letter) << " code " << int(row.code);
    }
    // The letter is judged by its own row whatever the stage.
    EXPECT_FALSE(Check(Reply(0x32, 0x42), std::string(kStageChecksum)));
}

TEST(ReplyCheck, OtherLengthsAreJudgedOnlyInTheModeChange) {
    const std::string_view stage = kStageModeChange;
    EXPECT_TRUE(CheckReply(Bytes{0x06}.data(), 1, stage));
    EXPECT_FALSE(CheckReply(Bytes{0x15}.data(), 1, stage));
    EXPECT_TRUE(CheckReply(Bytes{0x06, 0x15}.data(), 2, stage));
    const Bytes nothing(1, 0);
    EXPECT_FALSE(CheckReply(nothing.data(), 0, stage));
    // A six-byte reply to the mode change is judged like any other.
    EXPECT_TRUE(CheckReply(Reply(0x30, 0x40).data(), 6, stage));

    for (std::string other : {std::string(), std::string(kStageWrite), std::string(kStageChecksum)}) {
        EXPECT_TRUE(CheckReply(Bytes{0x15}.data(), 1, other));
        EXPECT_TRUE(CheckReply(Bytes(7, 0x15).data(), 7, other));
    }
}

}  // namespace
