// The station window on an X display, as an operator uses it: virtual printers flashed by real
// fwload-cli workers, what the tiles say and the screen shows, a refused printer retried by hand,
// Stop all and the close question, and the records kept.
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <chrono>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "SimEnvironment.h"
#include "StationWindow.h"
#include "TempDir.h"

namespace {

// Keeps the window's event loop going until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& done, int seconds = 60) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void Press(QWidget& window, Qt::Key key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&window, &press);
}

std::vector<nlohmann::json> Records(const std::string& log) {
    std::vector<nlohmann::json> records;
    std::istringstream lines(ReadWholeFile(log));
    for (std::string line; std::getline(lines, line);) records.push_back(nlohmann::json::parse(line));
    return records;
}

class StationOnScreen : public ::testing::Test {
protected:
    StationOnScreen() {
        sim.Set("FWSIM_RESTART_CALLS", "0");
        options.ini = dir.Write("fwload.ini", "[KX-4700]\n");
        options.model = "KX-4700";
        options.log = dir.File("log.jsonl");
    }

    std::unique_ptr<StationWindow> Open(int printers, std::size_t imageBytes) {
        sim.Set("FWSIM_DEVICES", SimEnvironment::CardPrinters(printers));
        options.firmware = dir.Write("fw.bin", "[NOV Card Printer]" + std::string(imageBytes, '\x5A'));
        StationWindowServices services;
        services.workerProgram = FWLOAD_CLI_PATH;
        services.confirm = [this](QWidget*, const QString& question) {
            questions.push_back(question.toStdString());
            return answer;
        };
        auto window = std::make_unique<StationWindow>(options, services);
        window->show();
        EXPECT_TRUE(window->StartStation());
        return window;
    }

    std::vector<std::string> Words(const StationWindow& window) const {
        std::vector<std::string> words;
        for (const TileWidget* tile : window.tiles) words.push_back(tile->Tile().word);
        return words;
    }

    SimEnvironment sim;
    TempDir dir;
    StationOptions options;
    std::vector<std::string> questions;
    bool answer = false;
};

TEST_F(StationOnScreen, FlashesFourPrintersAndTheRefusedOneIsRetriedByHand) {
    sim.Set("FWSIM_FAULTS", "FWSIM1003@nak:data:2");
    const std::unique_ptr<StationWindow> window = Open(4, 1500);
    ASSERT_TRUE(
        WaitFor([&] { return window->Model()->Counts().passed == 3 && window->Model()->Counts().failed == 1; }));
    WaitFor([&] { return window->tally->text().startsWith("passed 3   failed 1   running 0"); }, 5);
    EXPECT_THAT(Words(*window), ::testing::ElementsAre("PASS \u2014 REMOVE", "PASS \u2014 REMOVE", "PASS \u2014 REMOVE",
                                                       "FAIL \u2014 REMOVE"));
    EXPECT_EQ(window->tiles[3]->Tile().detail,
              "The download failed (the printer refused data frame 2 (result code 0x15) after 1,024 of 1,518 bytes).");
    // What the screen shows: each tile in its colour.
    QApplication::processEvents();
    const QImage screen = window->screen()->grabWindow(window->winId()).toImage();
    for (const TileWidget* tile : window->tiles) {
        const QRect where(tile->mapTo(window.get(), QPoint(0, 0)), tile->size());
        const QImage shot = screen.copy(where);
        long ground = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x)
                ground += shot.pixelColor(x, y) == TileWidget::Background(tile->Tile().tone);
        }
        EXPECT_GT(ground, shot.width() * shot.height() / 2) << tile->Tile().location;
    }
    EXPECT_EQ(TileWidget::Background(window->tiles[3]->Tile().tone), QColor(0xB7, 0x1C, 0x1C));

    // The operator mends it, moves to its tile with the arrows and presses Enter.
    sim.Set("FWSIM_FAULTS", "");
    EXPECT_FALSE(window->retry->isEnabled());
    for (int i = 0; i < 3; ++i) Press(*window, Qt::Key_Right);
    EXPECT_EQ(window->Selected(), 3);
    EXPECT_TRUE(window->retry->isEnabled());
    Press(*window, Qt::Key_Return);
    ASSERT_TRUE(WaitFor([&] { return window->Model()->Counts().passed == 4; }));
    std::vector<std::string> attempts;
    for (const nlohmann::json& record : Records(options.log)) {
        attempts.push_back(record["serial"].get<std::string>() + " " + record["outcome"].get<std::string>());
    }
    EXPECT_THAT(attempts,
                ::testing::UnorderedElementsAre("FWSIM1000 complete", "FWSIM1001 complete", "FWSIM1002 complete",
                                                "FWSIM1003 failed", "FWSIM1003 complete"));
    EXPECT_EQ(sim.State().downloads, 1);
    window->close();
    EXPECT_TRUE(questions.empty());  // nothing ran: nothing to ask
}

TEST_F(StationOnScreen, StopAllAndTheCloseQuestionStopEveryRunAsASingleRunStops) {
    sim.Set("FWSIM_LATENCY_MS", "4");
    const auto midDownload = [](const StationWindow& window, std::size_t runs) {
        std::size_t sending = 0;
        for (const TileWidget* tile : window.tiles) sending += tile->Tile().detail == "sending the firmware" ? 1 : 0;
        return sending == runs;
    };
    {
        const std::unique_ptr<StationWindow> window = Open(2, 32768);
        ASSERT_TRUE(WaitFor([&] { return midDownload(*window, 2); }));
        window->close();  // asked, and answered No: nothing stops
        EXPECT_THAT(questions, ::testing::ElementsAre("Stop 2 downloads and close?"));
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(window->Model()->Counts().running, 2u);
        window->stopAll->click();
        ASSERT_TRUE(WaitFor([&] { return window->Model()->Finished(); }));
        for (const nlohmann::json& record : Records(options.log)) {
            EXPECT_EQ(record["outcome"], "stopped");
            EXPECT_EQ(record["exit_code"], 130);
        }
        EXPECT_EQ(Records(options.log).size(), 2u);
        EXPECT_THAT(Words(*window), ::testing::Each(std::string("FAIL \u2014 REMOVE")));
    }
    std::remove(options.log.c_str());
    questions.clear();
    answer = true;
    const std::unique_ptr<StationWindow> window = Open(1, 32768);
    ASSERT_TRUE(WaitFor([&] { return midDownload(*window, 1); }));
    window->close();  // asked, and answered Yes: it closes once the run has stopped
    EXPECT_THAT(questions, ::testing::ElementsAre("Stop 1 download and close?"));
    ASSERT_TRUE(WaitFor([&] { return !window->isVisible(); }));
    ASSERT_EQ(Records(options.log).size(), 1u);
    EXPECT_EQ(Records(options.log).front()["outcome"], "stopped");
}

}  // namespace
