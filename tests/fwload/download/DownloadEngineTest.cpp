// The download procedure on the virtual clock: the bytes the printer receives, the waits and their
// limits, the status texts a user sees, Stop, and every failure path.
#include <filesystem>

#include <gmock/gmock.h>

#include "EngineFixture.h"
#include "GoldenVectors.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const Bytes kModeChange = {0x1B, 0x52, 0x44, 0x0D};
const Bytes kPoll = {0x02, 0x40, 0x03, 0x00, 0x27};
const Bytes kWriteToMemory = {0x02, 0x42, 0x03, 0x8C, 0x24};

class Download : public EngineTest {
protected:
    std::int64_t WriteTimeMs(std::size_t index) const { return device.writes.at(index).atUs / 1000; }
    // A data frame's first 516 bytes: STX 'A', the sequence number, the payload padded with zeros.
    static Bytes Head(std::uint8_t sequence, Bytes::const_iterator first, Bytes::const_iterator last) {
        Bytes head{0x02, 0x41, 0x00, sequence};
        head.insert(head.end(), first, last);
        head.resize(516, 0x00);
        return head;
    }
};

TEST_F(Download, SendsAThreeByteImageByteForByteWithItsPauses) {
    FakeSdk sdk(clock);
    ASSERT_TRUE(sdk.Preload());
    Run(Firmware({0x01, 0x02, 0x03}));

    Bytes data(519, 0);
    const Bytes head = {0x02, 0x41, 0x00, 0x00, 0x01, 0x02, 0x03};
    std::copy(head.begin(), head.end(), data.begin());
    data[516] = 0x03;
    data[517] = 0x73;
    data[518] = 0xB1;
    EXPECT_THAT(Writes(), ElementsAre(kModeChange, kPoll, data, kWriteToMemory,
                                      Bytes{0x02, 0x43, 0x00, 0x06, 0x03, 0x28, 0xE4}));
    // The poll follows the mode change's reply (1 ms latency, two 10 ms reads) by the 2,000 ms
    // pause; the checksum follows the memory write's reply (20 ms more) by the 100 ms pause.
    EXPECT_EQ(WriteTimeMs(1) - WriteTimeMs(0), 2023);
    EXPECT_EQ(WriteTimeMs(4) - WriteTimeMs(3), 143);

    EXPECT_THAT(host.StatusTexts(),
                ElementsAre("Status", "Status: Ready to download(mode change).", "Status: Ready to download(Polling).",
                            "Status: Download now.", "Status: Downloading( 3 / 21 bytes )", "Status: Write to memory.",
                            "Status: Check sum", "Status: Download complete!!...", "Status: Initializing!!...",
                            "Status: Initialization complete!!..."));
    EXPECT_EQ(host.sizeText, "21 Bytes");
    EXPECT_THAT(host.boxes, ::testing::IsEmpty());
    EXPECT_EQ(device.CompletedDownloads(), 1);
    EXPECT_FALSE(engine.FirmwareStream.IsOpen());
    EXPECT_EQ(device.openHandles, 0);
    EXPECT_TRUE(engine.Idle);
    EXPECT_FALSE(host.stopEnabled);
}

TEST_F(Download, TellsTheHostOnceThatTheExchangeIsOverWhileTheLinkIsOpen) {
    const struct {
        const char* name;
        std::vector<sim::ReplyFaultRule> faults;
        std::string file;  // empty: a good image
    } cases[] = {
        {"complete", {}, ""},
        {"poll refused", {{sim::ReplyFault::Nak, sim::RequestKind::Poll}}, ""},
        {"checksum refused", {{sim::ReplyFault::Code, sim::RequestKind::Checksum, -1, '1'}}, ""},
        {"not firmware", {}, "not firmware at all"},
    };
    for (const auto& c : cases) {
        host.events.clear();
        device.printer.replyFaults = c.faults;
        Run(c.file.empty() ? Firmware({0x01, 0x02}) : dir.Write("bad.bin", c.file));
        const auto ended = std::count_if(host.events.begin(), host.events.end(),
                                         [](const std::string& e) { return e.rfind("exchange ended", 0) == 0; });
        EXPECT_EQ(ended, 1) << c.name;
        EXPECT_NE(std::find(host.events.begin(), host.events.end(), "exchange ended, link open"), host.events.end())
            << c.name;
    }
}

TEST_F(Download, FastRepliesCostFewerReadsAndLessTimeAndSplitRepliesPassEitherWay) {
    Bytes image(4 * 512 + 100);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    struct Measured {
        int reads;
        double msPerFrame;
    };
    const auto run = [&](bool fast, bool split) {
        device.writes.clear();
        device.reads = 0;
        device.printer.replyFaults.clear();
        if (split) device.printer.replyFaults.push_back({sim::ReplyFault::Split, sim::RequestKind::Data});
        engine.fastReplies = fast;
        Run(Firmware(image));
        EXPECT_EQ(host.status, "Status: Download complete!!...") << fast << split;
        EXPECT_EQ(Bytes(device.CompletedPayload().begin(), device.CompletedPayload().begin() + image.size()), image)
            << fast << split;
        // From the first data frame to the write to memory: five frames and their replies.
        return Measured{device.reads, (device.writes.at(7).atUs - device.writes.at(2).atUs) / 1000.0 / 5};
    };
    const Measured standard = run(false, false);
    const Measured fast = run(true, false);
    const Measured standardSplit = run(false, true);
    const Measured fastSplit = run(true, true);
    // One read per reply instead of two, and no read timeout to end a reply.
    EXPECT_LE(fast.reads * 2, standard.reads);
    EXPECT_LT(fast.msPerFrame, standard.msPerFrame / 2);
    // A reply's second half is waited for as it comes, not for a whole read timeout.
    EXPECT_LE(fastSplit.msPerFrame, fast.msPerFrame + sim::kSplitGapMs);
    EXPECT_LT(fastSplit.msPerFrame, standardSplit.msPerFrame / 2);
}

TEST_F(Download, SleepsFiveSecondsAfterCompletingAndGatesStop) {
    Run(Firmware({0x01}));
    // No SDK library here: the display set-up is skipped and the status stays "complete".
    EXPECT_EQ(host.status, "Status: Download complete!!...");
    const auto& events = host.events;
    const auto complete = std::find(events.begin(), events.end(), "status: Status: Download complete!!...");
    ASSERT_NE(complete, events.end());
    EXPECT_EQ(*(complete + 1), "sleep: 5000");
    // Stop is on from the click, off for writing to memory and the checksum, off when done.
    std::vector<std::string> stop;
    std::copy_if(events.begin(), events.end(), std::back_inserter(stop), [](const std::string& e) { return e.rfind("stop", 0) == 0; });
    EXPECT_THAT(stop, ElementsAre("stop: on", "stop: off", "stop: off"));
}

TEST_F(Download, SendsEachGoldenDownloadByteForByte) {
    const struct {
        const char* name;
        golden::Download download;
    } cases[] = {
        {"three bytes", golden::ThreeByteImage()},
        {"header only: one frame of zeros, a sum of zero", golden::HeaderOnly()},
        {"512 bytes: a whole frame, then one of zeros", golden::BoundaryImage()},
    };
    for (const auto& c : cases) {
        device.writes.clear();
        Run(Firmware(Bytes(c.download.image.begin(), c.download.image.end()), "golden.bin"));
        EXPECT_EQ(Writes(), c.download.requests) << c.name;
        EXPECT_EQ(host.status, "Status: Download complete!!...") << c.name;
    }
    EXPECT_EQ(device.CompletedDownloads(), 3);
}

TEST_F(Download, NumbersFramesAndCountsImageBytesAgainstTheFileSize) {
    Bytes image(1024 - 18);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i);
    Run(Firmware(image));
    const std::vector<Bytes> writes = Writes();
    ASSERT_EQ(writes.size(), 6u);
    ASSERT_EQ(writes[2].size(), 519u);
    ASSERT_EQ(writes[3].size(), 519u);
    EXPECT_EQ(Bytes(writes[2].begin(), writes[2].begin() + 516), Head(0x00, image.begin(), image.begin() + 512));
    EXPECT_EQ(Bytes(writes[3].begin(), writes[3].begin() + 516), Head(0x01, image.begin() + 512, image.end()));
    EXPECT_EQ(host.sizeText, "1,024 Bytes");
    const std::vector<std::string> texts = host.StatusTexts();
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Status: Downloading( 512 / 1,024 bytes )"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Status: Downloading( 1,006 / 1,024 bytes )"), texts.end());
    // The bar stops 18 short of its maximum, then counts the write-to-memory ticks.
    EXPECT_NE(std::find_if(host.progress.begin(), host.progress.end(), [](const auto& p) { return p.second == 1006; }),
              host.progress.end());
}

TEST_F(Download, RetriesAShortDataFrameWithTheUnsentRest) {
    device.printer.shortWrites = {{0, 1, 200}};
    Run(Firmware({0x01, 0x02, 0x03}));
    const Bytes frame = golden::ThreeByteImage().requests[2];
    ASSERT_GE(device.writes.size(), 4u);
    EXPECT_EQ(device.writes[2].asked, 519u);
    EXPECT_EQ(device.writes[2].bytes, Bytes(frame.begin(), frame.begin() + 200));
    EXPECT_EQ(device.writes[3].asked, 319u);
    EXPECT_EQ(device.writes[3].bytes, Bytes(frame.begin() + 200, frame.end()));
    EXPECT_EQ(device.writes[3].atUs - device.writes[2].atUs, 10000);
    EXPECT_EQ(host.status, "Status: Download complete!!...");
}

TEST_F(Download, FailsWithTextAfterTheFourthShortWrite) {
    device.printer.shortWrites = {{0, 4, 200}};
    Run(Firmware({0x01, 0x02, 0x03}));
    ASSERT_EQ(device.writes.size(), 6u);  // mode change, poll, four writes of the frame
    EXPECT_THAT(std::vector<std::uint32_t>({device.writes[2].asked, device.writes[3].asked, device.writes[4].asked,
                                            device.writes[5].asked}),
                ElementsAre(519u, 319u, 119u, 1u));
    const std::vector<std::string> texts = host.StatusTexts();
    EXPECT_THAT(std::vector<std::string>(texts.end() - 2, texts.end()),
                ElementsAre("Status: Downloading( 3 / 21 bytes ) -> Failure", "Status: Download Failure!!..."));
    EXPECT_EQ(device.openHandles, 0);
}

struct ReplyFailureCase {
    const char* title;
    sim::ReplyFault fault;
    sim::RequestKind kind;
    int frame;
    std::uint8_t code;
    std::size_t writesSent;          // requests the printer got before the download gave up
    const char* textBeforeFailure;   // the status text shown just before the failure text
    std::int64_t earliestEndMs;      // the download cannot have ended sooner
};

class ReplyFailures : public Download, public ::testing::WithParamInterface<ReplyFailureCase> {};

TEST_P(ReplyFailures, EndInTheFailureTextWithTheLinkAndFileClosed) {
    const ReplyFailureCase& c = GetParam();
    device.printer.replyFaults = {{c.fault, c.kind, c.frame, c.code}};
    Bytes image(1000, 0x11);
    Run(Firmware(image));
    EXPECT_EQ(device.writes.size(), c.writesSent);
    const std::vector<std::string> texts = host.StatusTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], c.textBeforeFailure);
    EXPECT_EQ(texts.back(), "Status: Download Failure!!...");
    EXPECT_GE(clock.NowMs(), c.earliestEndMs);
    EXPECT_THAT(host.boxes, ::testing::IsEmpty());
    EXPECT_FALSE(engine.FirmwareStream.IsOpen());
    EXPECT_EQ(device.openHandles, 0);
    EXPECT_EQ(engine.Stage, "");
}

using sim::ReplyFault;
using sim::RequestKind;
INSTANTIATE_TEST_SUITE_P(
    EveryStage, ReplyFailures,
    ::testing::Values(
        ReplyFailureCase{"nak_mode", ReplyFault::Nak, RequestKind::ModeChange, -1, 0, 1,
                         "Status: Ready to download(mode change). -> Failure", 0},
        ReplyFailureCase{"garbage_mode", ReplyFault::Corrupt, RequestKind::ModeChange, -1, 0, 1,
                         "Status: Ready to download(mode change). -> Failure", 0},
        ReplyFailureCase{"silent_mode", ReplyFault::Silence, RequestKind::ModeChange, -1, 0, 1,
                         "Status: Ready to download(mode change). -> Failure", 5000},
        ReplyFailureCase{"nak_poll", ReplyFault::Nak, RequestKind::Poll, -1, 0, 2,
                         "Status: Ready to download(Polling). -> Failure", 2000},
        ReplyFailureCase{"crc_poll", ReplyFault::Corrupt, RequestKind::Poll, -1, 0, 2,
                         "Status: Ready to download(Polling). -> Failure", 2000},
        ReplyFailureCase{"silent_poll", ReplyFault::Silence, RequestKind::Poll, -1, 0, 2,
                         "Status: Ready to download(Polling). -> Failure", 7000},
        ReplyFailureCase{"nak_first_frame", ReplyFault::Nak, RequestKind::Data, 0, 0, 3,
                         "Status: Downloading( 512 / 1,018 bytes )", 2000},
        ReplyFailureCase{"crc_last_frame", ReplyFault::Corrupt, RequestKind::Data, 1, 0, 4,
                         "Status: Downloading( 1,000 / 1,018 bytes )", 2000},
        ReplyFailureCase{"silent_frame", ReplyFault::Silence, RequestKind::Data, 1, 0, 4,
                         "Status: Downloading( 1,000 / 1,018 bytes )", 7000},
        ReplyFailureCase{"write_code_2", ReplyFault::Code, RequestKind::WriteToMemory, -1, 0x32, 5,
                         "Status: Write to memory.", 2000},
        ReplyFailureCase{"silent_write", ReplyFault::Silence, RequestKind::WriteToMemory, -1, 0, 5,
                         "Status: Write to memory.", 62000},
        ReplyFailureCase{"nak_checksum", ReplyFault::Nak, RequestKind::Checksum, -1, 0, 6, "Status: Check sum", 2000},
        ReplyFailureCase{"silent_checksum", ReplyFault::Silence, RequestKind::Checksum, -1, 0, 6,
                         "Status: Check sum", 27000},
        ReplyFailureCase{"unplugged", ReplyFault::Vanish, RequestKind::Data, 0, 0, 3,
                         "Status: Downloading( 512 / 1,018 bytes )", 2000}),
    [](const ::testing::TestParamInfo<ReplyFailureCase>& info) { return std::string(info.param.title); });

TEST_F(Download, WritingToMemoryCountsThirtyTicksOfTwoSeconds) {
    device.printer.replyFaults = {{ReplyFault::Silence, RequestKind::WriteToMemory, -1, 0}};
    Run(Firmware({0x01}));
    // The ticks follow the last reset of the bar, made as the wait began.
    const auto reset = std::find_if(host.progress.rbegin(), host.progress.rend(), [](const auto& p) { return p.second == 0; });
    const std::vector<std::pair<std::int64_t, int>> ticks(reset.base(), host.progress.end());
    ASSERT_EQ(ticks.size(), 30u);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        EXPECT_EQ(ticks[i].second, static_cast<int>(i + 1));
        if (i > 0) {
            EXPECT_EQ(ticks[i].first - ticks[i - 1].first, 2000);
        }
    }
    EXPECT_EQ(host.position, 30);
    EXPECT_EQ(host.status, "Status: Download Failure!!...");
}

TEST_F(Download, TheChecksumWaitCountsFiveTicksOfFiveSeconds) {
    device.printer.replyFaults = {{ReplyFault::Silence, RequestKind::Checksum, -1, 0}};
    Run(Firmware({0x01}));
    EXPECT_EQ(host.maximum, 5);
    EXPECT_EQ(host.position, 5);
    const auto& last = host.progress.back();
    const auto& first = *(host.progress.end() - 5);
    EXPECT_EQ(first.second, 1);
    EXPECT_EQ(last.first - first.first, 4 * 5000);
}

TEST_F(Download, ModeChangeRepliesOfOtherLengthsAreJudgedByTheirFirstByte) {
    device.printer.replyFaults = {{ReplyFault::Code, RequestKind::ModeChange, -1, 0x15}};
    Run(Firmware({0x01}));
    EXPECT_EQ(device.writes.size(), 1u);

    // An over-long answer starting with ACK is accepted; one to the poll is not examined.
    device.writes.clear();
    device.printer.replyFaults = {{ReplyFault::Overlong, RequestKind::ModeChange, -1, 0},
                                  {ReplyFault::Overlong, RequestKind::Poll, -1, 0}};
    Run(Firmware({0x01}));
    EXPECT_EQ(host.status, "Status: Download complete!!...");
}

TEST_F(Download, AFailedQueueQueryEndsTheWait) {
    device.queueStatusFailsFrom = 1;
    Run(Firmware({0x01}));
    EXPECT_EQ(device.writes.size(), 1u);
    EXPECT_EQ(host.status, "Status: Download Failure!!...");
    EXPECT_LT(clock.NowMs(), 100);
}

TEST_F(Download, StopDuringAReplyWaitFails) {
    device.printer.latencyMs = 4000;
    host.At(1000, [this] { engine.BtnCancelClick(); });
    Run(Firmware({0x01}));
    EXPECT_EQ(device.writes.size(), 1u);
    EXPECT_THAT(host.StatusTexts(), ElementsAre("Status", "Status: Ready to download(mode change).",
                                                "Status: Ready to download(mode change). -> Failure",
                                                "Status: Download Failure!!..."));
    EXPECT_LT(clock.NowMs(), 1100);
}

TEST_F(Download, StopDuringThePauseBeforePollingFailsAtOnce) {
    host.At(1000, [this] { engine.BtnCancelClick(); });
    Run(Firmware({0x01}));
    EXPECT_EQ(device.writes.size(), 1u);  // no poll, no read of the closed file
    EXPECT_EQ(host.status, "Status: Download Failure!!...");
    EXPECT_LT(clock.NowMs(), 1100);
    EXPECT_FALSE(host.timer.Enabled());
}

TEST_F(Download, StopDuringADataFrameWaitFails) {
    device.printer.latencyMs = 100;
    host.At(2300, [this] { engine.BtnCancelClick(); });
    Run(Firmware(Bytes(2000, 0x22)));
    EXPECT_EQ(host.status, "Status: Download Failure!!...");
    EXPECT_LT(device.writes.size(), 6u);
    EXPECT_EQ(device.CompletedDownloads(), 0);
}

TEST_F(Download, RejectsAFileWithoutTheHeaderAfterShowingItsSize) {
    const std::string file = dir.Write("other.bin", "[nov card printer]" + std::string(2000, 'x'));
    Run(file);
    EXPECT_THAT(host.events, ElementsAre("status: Status", "stop: on", "size: 2,018 Bytes", "status: Status",
                                         "box: Error: The file is not card printer firmware file.\n\nSelect another file.",
                                         "exchange ended, link open", "stop: off"));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].icon, platform::MessageIcon::Exclamation);
    EXPECT_TRUE(host.boxes[0].topMost);
    EXPECT_TRUE(device.writes.empty());
    EXPECT_EQ(device.openHandles, 0);
    EXPECT_FALSE(engine.FirmwareStream.IsOpen());

    // Seventeen bytes are too few for the header.
    host.boxes.clear();
    Run(dir.Write("short.bin", "[NOV Card Printer"));
    EXPECT_EQ(host.Boxes(), std::vector<std::string>{"Error: The file is not card printer firmware file.\n\nSelect another file."});
}

TEST_F(Download, NothingHappensWhenThePrinterIsNotFound) {
    device.descriptions = {};
    Run(Firmware({0x01}));
    EXPECT_EQ(host.Boxes(), std::vector<std::string>{"Error: USB device not found."});
    EXPECT_EQ(host.status, "Status");
    EXPECT_EQ(host.sizeText, "- Bytes");
}

TEST_F(Download, AFileThatCannotBeOpenedFailsWithItsReason) {
    const std::string missing = dir.File("vanished.bin");
    Run(missing);
    EXPECT_EQ(host.Boxes(), std::vector<std::string>{"Error: Cannot open file \"" + missing + "\". No such file or directory."});
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(host.status, "Status: Download Failure!!...");
    EXPECT_TRUE(device.writes.empty());
    EXPECT_EQ(device.openHandles, 0);
}

TEST_F(Download, RefusesFilesBeyondTwoGigabytesBeforeSendingAnything) {
    const std::string huge = Firmware({});
    std::filesystem::resize_file(huge, 2147483649ULL);
    Run(huge);
    EXPECT_EQ(host.sizeText, "2,147,483,649 Bytes");
    EXPECT_EQ(host.Boxes(), std::vector<std::string>{
        "Error: The file is too large for card printer firmware file.\n\nSelect another file."});
    EXPECT_TRUE(device.writes.empty());
    EXPECT_EQ(host.status, "Status");
}

}  // namespace

// The record the engine keeps says how each download ended, whatever the status line shows; a reply
// already waiting when a late tick comes (the program held past the wait) is not a refusal.
struct RecordCase {
    const char* title;
    std::vector<sim::ReplyFaultRule> faults;
    enum class Then { Nothing, HoldTheProgram, PressStop, Unplug } then;
    DownloadFailure::Stage stage;
    DownloadFailure::Cause cause;
    int resultCode;
};

class Records : public Download, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(Records, SayHowTheDownloadEnded) {
    const RecordCase& c = GetParam();
    device.printer.replyFaults = c.faults;
    if (c.then == RecordCase::Then::HoldTheProgram) host.At(1, [this] { clock.AdvanceMs(6000); });
    if (c.then == RecordCase::Then::PressStop) {
        device.printer.latencyMs = 4000;
        host.At(1000, [this] { engine.BtnCancelClick(); });
    }
    if (c.then == RecordCase::Then::Unplug) device.descriptions = {};
    Run(Firmware(Bytes(1000, 0x11)));
    EXPECT_EQ(engine.Failure().stage, c.stage);
    EXPECT_EQ(engine.Failure().cause, c.cause);
    EXPECT_EQ(engine.Failure().resultCode, c.resultCode);
}

using Stage = DownloadFailure::Stage;
using Cause = DownloadFailure::Cause;
using Then = RecordCase::Then;
INSTANTIATE_TEST_SUITE_P(
    EveryEnd, Records,
    ::testing::Values(
        RecordCase{"accepted_then_no_sdk", {}, Then::Nothing, Stage::DisplaySetUp, Cause::NoSdkLibrary, -1},
        RecordCase{"refused", {{ReplyFault::Nak, RequestKind::Data, 1, 0}}, Then::Nothing, Stage::Data, Cause::Refused, 0x15},
        RecordCase{"damaged", {{ReplyFault::Corrupt, RequestKind::Poll, -1, 0}}, Then::Nothing, Stage::Polling,
                   Cause::DamagedReply, -1},
        RecordCase{"silent", {{ReplyFault::Silence, RequestKind::Checksum, -1, 0}}, Then::Nothing, Stage::Checksum,
                   Cause::NoReply, -1},
        RecordCase{"unplugged", {{ReplyFault::Vanish, RequestKind::Data, 0, 0}}, Then::Nothing, Stage::Data,
                   Cause::DeviceError, -1},
        RecordCase{"held_past_the_tick", {}, Then::HoldTheProgram, Stage::ModeChange, Cause::TimerRanOut, -1},
        RecordCase{"stopped", {}, Then::PressStop, Stage::ModeChange, Cause::Stopped, -1},
        RecordCase{"no_printer", {}, Then::Unplug, Stage::None, Cause::NoPrinter, -1}),
    [](const ::testing::TestParamInfo<RecordCase>& info) { return std::string(info.param.title); });
