// The firmware download: finds the printer, checks the file, switches the printer into its loader,
// sends the image in numbered frames, has it written to memory and its byte sum confirmed, then
// writes the printer's display lines. It runs on the window's thread and reaches the window only
// through DownloadHost; every wait pumps the window's messages, so Stop and Timer1 act meanwhile.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "DownloadHost.h"
#include "Files.h"
#include "FirmwareImage.h"

// Texts the status line shows.
namespace status_text {
inline constexpr char kIdle[] = "Status";
inline constexpr char kModeChange[] = "Status: Ready to download(mode change).";
inline constexpr char kPolling[] = "Status: Ready to download(Polling).";
inline constexpr char kDownloadNow[] = "Status: Download now.";
inline constexpr char kWriteToMemory[] = "Status: Write to memory.";
inline constexpr char kCheckSum[] = "Status: Check sum";
inline constexpr char kFailure[] = "Status: Download Failure!!...";
inline constexpr char kComplete[] = "Status: Download complete!!...";
inline constexpr char kInitializing[] = "Status: Initializing!!...";
inline constexpr char kInitialized[] = "Status: Initialization complete!!...";
}  // namespace status_text

class DownloadEngine {
public:
    explicit DownloadEngine(DownloadHost& host) : host_(host) {}
    DownloadEngine(const DownloadEngine&) = delete;
    DownloadEngine& operator=(const DownloadEngine&) = delete;

    // Window state shared by the download, the click handlers and the timer.
    bool Idle = true;                // no download runs
    bool StopFlag = false;           // ends the current wait; set on every failure
    std::string Stage;               // "", "MODECHANGE", "WRITE" or "CHECKSUM"
    platform::ReadOnlyFile FirmwareStream;
    std::int32_t SentBytes = 0;      // image bytes read into data frames so far

    // fwload-cli --fast: a reply is collected until it is whole instead of until a read times out.
    // The window never sets it.
    bool fastReplies = false;

    // The preparation of a Download click, in its order: Idle false, Timer1 disabled, SentBytes 0,
    // progress at 0, StopFlag false, Stage empty, status "Status", Stop enabled.
    void BeginDownload();
    // The restore after it: Stop disabled, Idle true.
    void EndDownload();

    // One whole download of the file; returns when it has completed, failed or been stopped, with
    // everything the user needs to know shown in the status line and in message boxes. Expects the
    // Download click's preparation (Idle false, StopFlag false, Stage empty, SentBytes 0, ...).
    // Closes the file and the link on every path.
    void RunDownload(const std::string& fileName);

    // Waits for the printer's answer to the frame just written and checks it; true when accepted.
    bool WaitReply();

    // Timer1's tick: counts the write-to-memory and checksum waits, ends every other wait.
    void Timer1Timer();

    // Stop: ends the current wait and closes the firmware file.
    void BtnCancelClick();

    // Closes the firmware file if it is open; safe at any time.
    void CloseFirmwareFile();

    // After a completed download: hands the printer to the SDK library, waits until it answers,
    // writes its display lines from the settings file and switches the display on.
    void SetUpPrinterDisplay();

    // Why the last download failed (cause None after a complete one, display set-up included).
    const DownloadFailure& Failure() const { return failure_; }

private:
    // Records the failure's cause, unless one is recorded already: the first cause is the real one.
    void NoteFailure(DownloadFailure::Cause cause);
    // Collects a reply's bytes into reply_ as the window does: until a read brings nothing.
    std::size_t CollectReply();
    // The same, but ending as soon as the reply is whole (with what is already queued behind it).
    std::size_t CollectWholeReply();
    // Records why WaitReply is about to return false.
    void NoteWaitFailure(bool replyCollected, bool replyAccepted, std::size_t length, bool queueFailed);
    // Records a write that moved fewer bytes than asked (a device error when the library said so).
    void NoteShortWrite(std::uint32_t written, std::uint32_t asked);
    // Sets the status line to "<current text> -> Failure" and fails.
    void FailWithText();
    // Fails with the failure text and tells the user what went wrong with the firmware file.
    void FailWithFileError(const char* action, const std::string& fileName);
    // Lets Timer1 run out once, pumping messages meanwhile; clears StopFlag after.
    void Pause(unsigned milliseconds);
    // Waits for a reply while the progress bar counts Timer1's ticks from 0 up to the given number.
    void WaitCountedReply(int ticks);
    // Writes the first count bytes of the link's output buffer; true when all were written.
    bool WriteFrame(std::uint32_t count);
    // Sends the image, one data frame per 512 bytes, from the copy taken when the file was opened.
    void SendImage(std::int32_t fileSize);
    // Writes one 519-byte data frame in up to four writes, moving the unsent rest to the front.
    bool WriteDataFrame();
    // Checks the file's size and header and takes its image; false (having told the user) when it is
    // not firmware or cannot be read.
    bool CheckFirmwareFile(const std::string& fileName, std::int32_t& fileSize);
    // Tells the host, once per download, that the exchange with the printer is over.
    void EndExchange();
    // Moves the download to a stage: the failure record's stage, and Stage, the reply wait's mode
    // ("MODECHANGE", "WRITE", "CHECKSUM", or empty for the others), both follow from it.
    void EnterStage(DownloadFailure::Stage stage);

    DownloadHost& host_;
    std::array<std::uint8_t, 65536> reply_{};
    DownloadFailure failure_;
    DownloadFailure::Stage failureStage_ = DownloadFailure::Stage::None;  // set only by EnterStage
    int frame_ = -1;
    std::int32_t confirmedBytes_ = 0;  // image bytes in frames the printer accepted
    std::int32_t fileSize_ = 0;
    FirmwareImage image_;  // what the frames and the checksum send, read once as the file opened
    bool stopPressed_ = false;
    bool exchangeEnded_ = false;
};
