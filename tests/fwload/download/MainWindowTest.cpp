// fwload's window on Qt's offscreen platform, with the engine on the virtual clock, the fake device
// behind the link and the message boxes recorded.
#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <filesystem>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeD2xx.h"
#include "FakeSdk.h"
#include "Main.h"
#include "MessageBoxRecorder.h"
#include "TempDir.h"
#include "VirtualScheduler.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// The window's timer and message loop on the virtual clock; Qt's own events are still processed
// at every pump, so clicks and text changes reach the window as they would.
class VirtualWindowClock : public WindowClock {
public:
    explicit VirtualWindowClock(VirtualScheduler& scheduler) : scheduler_(scheduler) {
        scheduler_.onTick = [this] {
            if (onTick) onTick();
        };
        scheduler_.onPump = [] { QCoreApplication::processEvents(); };
    }
    void SetTimerInterval(unsigned milliseconds) override { scheduler_.SetTimerInterval(milliseconds); }
    void SetTimerEnabled(bool enabled) override { scheduler_.SetTimerEnabled(enabled); }
    void PumpMessages() override { scheduler_.Pump(); }
    void WaitForMessages() override { scheduler_.Wait(); }
    void Sleep(unsigned milliseconds) override {
        sleeps.push_back(std::to_string(milliseconds) + " ms after painting \"" + paintedStatus + "\"");
        scheduler_.Sleep(milliseconds);
    }

    std::string paintedStatus;        // the status line's text when it was last painted
    std::vector<std::string> sleeps;  // each plain sleep, with what the status line showed

private:
    VirtualScheduler& scheduler_;
};

// Records the status line's text whenever it is painted.
class PaintWatcher : public QObject {
public:
    explicit PaintWatcher(std::string& painted) : painted_(painted) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted_ = static_cast<QLabel*>(watched)->text().toStdString();
        return false;
    }

private:
    std::string& painted_;
};

class MainWindow : public ::testing::Test {
protected:
    void Create(const std::string& settings) {
        TFrmMainServices services;
        services.loadUsbLibrary = [this] {
            ++loads;
            return usbLibraryPresent;
        };
        services.unloadUsbLibrary = [this] { ++unloads; };
        services.settingsFile = dir.Write("fwload.ini", settings);
        services.browseForFile = [this](QWidget*) { return browsed; };
        services.clock = &windowClock;
        form.reset();  // the old window lets go of the shared clock before the new one takes it
        form = std::make_unique<TFrmMain>(services);
        form->show();
        form->lblProgress->installEventFilter(&paintWatcher);
        QCoreApplication::processEvents();
    }

    std::string Firmware(const std::string& name, std::size_t imageBytes = 3) {
        return dir.Write(name, "[NOV Card Printer]" + std::string(imageBytes, '\x01'));
    }

    void SelectModel(int index) { form->cbModel->setCurrentIndex(index); }
    std::string Status() const { return form->lblProgress->text().toStdString(); }

    VirtualClock clock;
    FakeD2xx device{clock};
    VirtualScheduler scheduler{clock};
    VirtualWindowClock windowClock{scheduler};
    PaintWatcher paintWatcher{windowClock.paintedStatus};
    MessageBoxRecorder boxes;
    TempDir dir;
    bool usbLibraryPresent = true;
    int loads = 0;
    int unloads = 0;
    QString browsed;
    std::unique_ptr<TFrmMain> form;
};

TEST_F(MainWindow, WithoutTheUsbLibraryShowsOneBoxAndClosesItself) {
    usbLibraryPresent = false;
    Create("[KX-4700]\n");
    QCoreApplication::processEvents();
    EXPECT_THAT(boxes.Lines(), ElementsAre("Error: Usb driver not found.\r\rThis program will be closed."));
    EXPECT_EQ(boxes.boxes[0].icon, platform::MessageIcon::Error);
    EXPECT_FALSE(form->isVisible());
    form.reset();
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(unloads, 1);
}

TEST_F(MainWindow, StartsWithTheControlsAndStatesOfItsLayout) {
    Create("[KX-4700]\n");
    EXPECT_EQ(form->windowTitle(), "Card Printer Firmware Download Program");
    // Its own icon, the desktop entry's.
    EXPECT_EQ(form->windowIcon().pixmap(128).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied),
              QImage(QStringLiteral(PACKAGING_DIR "/icons/128x128/fwload.png"))
                  .convertToFormat(QImage::Format_ARGB32_Premultiplied));
    EXPECT_EQ(form->size(), QSize(405, 200));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(form->BtnDownload->geometry(), QRect(120, 159, 78, 25));
    EXPECT_EQ(form->BtnCancel->geometry(), QRect(199, 159, 78, 25));
    EXPECT_EQ(form->BtnClose->geometry(), QRect(310, 159, 78, 25));
    EXPECT_EQ(form->Progress->geometry(), QRect(16, 121, 372, 17));
    EXPECT_EQ(form->edtFilename->geometry(), QRect(72, 43, 316, 21));
    EXPECT_EQ(form->cbModel->geometry(), QRect(72, 13, 316, 21));
    EXPECT_EQ(form->lblProgress->pos(), QPoint(16, 102));
    EXPECT_EQ(form->lblSize->text(), "- Bytes");
    EXPECT_EQ(form->BtnDownload->text(), "Download");
    EXPECT_EQ(form->BtnCancel->text(), "Stop");
    EXPECT_EQ(form->BtnClose->text(), "Exit");
    EXPECT_FALSE(form->BtnDownload->isEnabled());
    EXPECT_FALSE(form->BtnCancel->isEnabled());
    EXPECT_TRUE(form->BtnClose->isEnabled());
    EXPECT_FALSE(form->cbModel->isEditable());
    EXPECT_EQ(form->Progress->value(), 0);
    EXPECT_EQ(form->BtnClose->nextInFocusChain(), form->edtFilename);
    EXPECT_EQ(form->BtnDownload->nextInFocusChain(), form->BtnCancel);
    EXPECT_TRUE(form->engine.Idle);
}

TEST_F(MainWindow, ListsTheModelsInFileOrderWithNoneSelected) {
    Create("[Zeta 2]\n1=A\n[alpha]\n");
    ASSERT_EQ(form->cbModel->count(), 2);
    EXPECT_EQ(form->cbModel->itemText(0), "Zeta 2");
    EXPECT_EQ(form->cbModel->itemText(1), "alpha");
    EXPECT_EQ(form->cbModel->currentIndex(), -1);
    EXPECT_FALSE(form->BtnDownload->isEnabled());
    EXPECT_EQ(Status(), "Status");
}

TEST_F(MainWindow, EnablesDownloadAtTheKeystrokeThatCompletesAnExistingFileName) {
    Create("[KX-4700]\n");
    const std::string file = Firmware("fw.bin");
    SelectModel(0);
    EXPECT_FALSE(form->BtnDownload->isEnabled());
    for (std::size_t i = 0; i < file.size(); ++i) {
        form->edtFilename->insert(QString(QChar(file[i])));
        EXPECT_EQ(form->BtnDownload->isEnabled(), i + 1 == file.size()) << "after " << i + 1 << " characters";
    }
    form->edtFilename->insert(QStringLiteral("x"));
    EXPECT_TRUE(form->BtnDownload->isEnabled());  // the check never disables
}

TEST_F(MainWindow, ADirectoryOrAMissingModelDoesNotEnableDownload) {
    Create("[KX-4700]\n");
    form->edtFilename->setText(QString::fromStdString(Firmware("fw.bin")));
    EXPECT_FALSE(form->BtnDownload->isEnabled());  // no model yet
    SelectModel(0);
    EXPECT_TRUE(form->BtnDownload->isEnabled());

    Create("[KX-4700]\n");
    SelectModel(0);
    form->edtFilename->setText(QString::fromStdString(dir.Path()));
    EXPECT_FALSE(form->BtnDownload->isEnabled());
    EXPECT_EQ(form->ChosenFile(), dir.Path() + "/");
}

TEST_F(MainWindow, ABrowsedPathWithABlankIsQuotedAndReachesTheDownloadWithoutQuotes) {
    Create("[KX-4700]\n");
    const std::string file = Firmware("my firmware.bin", 1000);
    browsed = QString::fromStdString(file);
    SelectModel(0);
    form->edtFilenameButton->click();
    EXPECT_EQ(form->edtFilename->text().toStdString(), "\"" + file + "\"");
    EXPECT_TRUE(form->BtnDownload->isEnabled());
    form->BtnDownload->click();
    EXPECT_EQ(form->lblSize->text(), "1,018 Bytes");
    EXPECT_EQ(device.CompletedDownloads(), 1);
    EXPECT_EQ(Status(), "Status: Download complete!!...");

    // A path already in quotes is taken as it is.
    browsed = QStringLiteral("\"/x y/z.bin\"");
    form->edtFilenameButton->click();
    EXPECT_EQ(form->edtFilename->text(), browsed);
}

TEST_F(MainWindow, TheDownloadClickChecksModelAndFileFirst) {
    Create("[KX-4700]\n");
    form->BtnDownloadClick();
    const std::string file = Firmware("fw.bin");
    form->edtFilename->setText(QString::fromStdString(file));
    SelectModel(0);
    ASSERT_TRUE(form->BtnDownload->isEnabled());
    std::filesystem::remove(file);
    form->BtnDownload->click();
    EXPECT_THAT(boxes.Lines(), ElementsAre("Notifications: Select a model.", "Notifications: Select the firmware file."));
    for (const auto& box : boxes.boxes) EXPECT_EQ(box.icon, platform::MessageIcon::Information);
    EXPECT_EQ(Status(), "Status");
    EXPECT_TRUE(form->engine.Idle);
    EXPECT_THAT(device.writes, IsEmpty());
}

TEST_F(MainWindow, DuringADownloadTheWindowStaysLiveButRefusesASecondDownloadAndClosing) {
    Create("[KX-4700]\n1=A\n[KX-4710]\n4=A\n");
    FakeSdk sdk(clock);
    ASSERT_TRUE(sdk.Preload());
    form->edtFilename->setText(QString::fromStdString(Firmware("fw.bin")));
    SelectModel(0);

    bool stopEnabledDuring = false;
    scheduler.At(1000, [&] {
        stopEnabledDuring = form->BtnCancel->isEnabled();
        SelectModel(1);  // re-enables Download by the enabling check...
        EXPECT_TRUE(form->BtnDownload->isEnabled());
        form->BtnDownload->click();  // ...but a second download is refused
    });
    scheduler.At(1500, [&] {
        form->close();
        form->BtnClose->click();
        EXPECT_TRUE(form->isVisible());
    });
    form->BtnDownload->click();

    EXPECT_TRUE(stopEnabledDuring);
    EXPECT_THAT(boxes.boxes, IsEmpty());
    EXPECT_EQ(device.CompletedDownloads(), 1);
    EXPECT_EQ(std::count(device.calls.begin(), device.calls.end(), "FT_ListDevices(count)"), 1);
    // The model chosen during the download decides the display lines.
    EXPECT_THAT(sdk.LineWrites(), ElementsAre("UserLCDMemoryWrite(17,'3',0x41,\"\")"));
    EXPECT_EQ(Status(), "Status: Initialization complete!!...");
    EXPECT_TRUE(form->BtnDownload->isEnabled());
    EXPECT_FALSE(form->BtnCancel->isEnabled());
    EXPECT_TRUE(form->engine.Idle);
    EXPECT_TRUE(form->isVisible());
    form->BtnClose->click();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindow, StopEndsTheDownloadAndTheWindowIsReadyAgain) {
    Create("[KX-4700]\n");
    form->edtFilename->setText(QString::fromStdString(Firmware("fw.bin", 5000)));
    SelectModel(0);
    scheduler.At(2100, [&] { form->BtnCancel->click(); });
    device.printer.latencyMs = 200;
    form->BtnDownload->click();
    EXPECT_EQ(Status(), "Status: Download Failure!!...");
    EXPECT_EQ(device.CompletedDownloads(), 0);
    EXPECT_TRUE(form->BtnDownload->isEnabled());
    EXPECT_FALSE(form->BtnCancel->isEnabled());
    EXPECT_FALSE(form->engine.FirmwareStream.IsOpen());
    EXPECT_EQ(device.openHandles, 0);
}

TEST_F(MainWindow, TheStatusLinesTooltipSaysWhyTheLastDownloadFailed) {
    Create("[KX-4700]\n");
    form->edtFilename->setText(QString::fromStdString(Firmware("fw.bin", 3000)));
    SelectModel(0);
    const struct {
        const char* name;
        std::vector<sim::ReplyFaultRule> faults;
        std::int64_t stopAtMs;  // 0: no Stop
        const char* tooltip;
    } cases[] = {
        {"refused frame", {{sim::ReplyFault::Nak, sim::RequestKind::Data, 2}}, 0,
         "the printer refused data frame 2 (result code 0x15) after 1,024 of 3,018 bytes"},
        {"Stop", {}, 1000, "stopped by the user during the mode change"},
        {"complete without an SDK library", {}, 0,
         "the firmware is in the printer and checked, but its display was not set up: no card printer SDK library"},
    };
    for (const auto& c : cases) {
        device.printer.replyFaults = c.faults;
        if (c.stopAtMs > 0) scheduler.At(clock.NowMs() + c.stopAtMs, [&] { form->BtnCancel->click(); });
        form->BtnDownload->click();
        EXPECT_EQ(form->lblProgress->toolTip().toStdString(), c.tooltip) << c.name;
    }
    EXPECT_THAT(boxes.boxes, IsEmpty());
}

TEST_F(MainWindow, TheSuccessTextIsOnScreenDuringTheSleepAfterIt) {
    Create("[KX-4700]\n");
    form->edtFilename->setText(QString::fromStdString(Firmware("fw.bin")));
    SelectModel(0);
    form->BtnDownload->click();
    EXPECT_EQ(device.CompletedDownloads(), 1);
    EXPECT_THAT(windowClock.sleeps, ::testing::Contains("5000 ms after painting \"Status: Download complete!!...\""));
}

TEST_F(MainWindow, KeysReachWhatTheFocusedControlShows) {
    const struct {
        const char* name;
        QWidget* (*focus)(TFrmMain&);
        int key;
        Qt::KeyboardModifiers modifiers;
        bool (*happened)(TFrmMain&);
    } cases[] = {
        {"Enter on Exit closes", [](TFrmMain& f) -> QWidget* { return f.BtnClose; }, Qt::Key_Return, Qt::NoModifier,
         [](TFrmMain& f) { return !f.isVisible(); }},
        {"Enter on Download downloads", [](TFrmMain& f) -> QWidget* { return f.BtnDownload; }, Qt::Key_Enter,
         Qt::NoModifier, [](TFrmMain& f) { return f.lblSize->text() == "21 Bytes"; }},
        {"Alt+Down in the file edit browses", [](TFrmMain& f) -> QWidget* { return f.edtFilename; }, Qt::Key_Down,
         Qt::AltModifier, [](TFrmMain& f) { return f.edtFilename->text() == "/browsed.bin"; }},
        {"Down alone does not browse", [](TFrmMain& f) -> QWidget* { return f.edtFilename; }, Qt::Key_Down,
         Qt::NoModifier, [](TFrmMain& f) { return f.edtFilename->text() != "/browsed.bin"; }},
    };
    for (const auto& c : cases) {
        Create("[KX-4700]\n");
        browsed = QStringLiteral("/browsed.bin");
        form->edtFilename->setText(QString::fromStdString(Firmware("fw.bin")));
        SelectModel(0);
        QKeyEvent press(QEvent::KeyPress, c.key, c.modifiers);
        QApplication::sendEvent(c.focus(*form), &press);
        QCoreApplication::processEvents();
        EXPECT_TRUE(c.happened(*form)) << c.name;
    }
}

}  // namespace
