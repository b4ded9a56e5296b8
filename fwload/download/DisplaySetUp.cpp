// The printer display set-up after a completed download: the printer is handed from the raw USB
// link to the SDK library, awaited, and given its display lines from the settings file.
#include "D2XX_Dyn.h"
#include "DownloadEngine.h"
#include "KX47XX_Dyn.h"
#include "PrinterDisplay.h"
#include "qvxFileUtils.h"

namespace {

constexpr char kSdkLibraryName[] = "crdprt.dll";
constexpr unsigned kStatusPollMs = 1000;
constexpr std::int32_t kDisplayArea = 17;
constexpr int kDisplayLines = 4;

// Every operation the set-up calls must be present; a library without one is treated as absent.
bool HasDisplayOperations() {
    return KX47XXSlots.Get_StatusEx != nullptr && KX47XXSlots.UserLCDMemoryWrite != nullptr &&
           KX47XXSlots.UserLCDMemoryWriteEx != nullptr && KX47XXSlots.LCD_DISPLAY != nullptr;
}

// Writes one display line; returns the SDK's result (0 also when the line writes nothing).
std::int32_t WriteDisplayLine(const DisplayLineWrite& line) {
    switch (line.call) {
        case DisplayLineWrite::Call::Write:
            return KX47XXSlots.UserLCDMemoryWrite(kDisplayArea, line.slot, line.kind, line.text.c_str());
        case DisplayLineWrite::Call::WriteEx:
            return KX47XXSlots.UserLCDMemoryWriteEx(kDisplayArea, line.slot, line.kind, line.text.c_str());
        case DisplayLineWrite::Call::None: break;
    }
    return 0;
}

}  // namespace

void DownloadEngine::SetUpPrinterDisplay() {
    if (!LoadKX47XXLibrary(kSdkLibraryName)) {
        NoteFailure(DownloadFailure::Cause::NoSdkLibrary);
        return;
    }
    if (!HasDisplayOperations()) {
        NoteFailure(DownloadFailure::Cause::NoSdkLibrary);
        failure_.reason = "the library lacks a display operation";
        UnloadKX47XXLibrary();
        return;
    }
    CloseCardPrinter();
    host_.SetStopEnabled(true);
    host_.StageEntered(DownloadStage::DisplaySetUp);
    host_.SetStatusText(status_text::kInitializing);

    // Only an answer or Stop ends the wait.
    while (!StopFlag) {
        std::uint8_t status = 0;
        std::uint8_t detail = 0;
        if (KX47XXSlots.Get_StatusEx(&status, &detail) == 0) break;
        host_.PumpMessages();
        host_.Sleep(kStatusPollMs);
    }

    if (StopFlag) {
        NoteFailure(DownloadFailure::Cause::Stopped);
    } else {
        host_.SetStopEnabled(false);
        const std::string settings = host_.SettingsFileName();
        const std::string model = host_.SelectedModel();
        bool written = true;
        for (int key = 1; key <= kDisplayLines && written; ++key) {
            const std::string value = IniReadString(settings, model, std::to_string(key), "");
            const std::int32_t result = WriteDisplayLine(DescribeDisplayLine(key, value));
            written = result == 0;
            if (!written) {
                NoteFailure(DownloadFailure::Cause::Refused);
                failure_.resultCode = result;
                failure_.frame = key;  // the display line
            }
        }
        if (written) {
            KX47XXSlots.LCD_DISPLAY(9, 0, 0);
            host_.SetStatusText(status_text::kInitialized);
        }
    }
    UnloadKX47XXLibrary();
}
