// The station window's views: each tile painted in its tone with its word, and the set-up panel that
// lets only a firmware file start, and only the released one when the job is locked.
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include "MessageBoxRecorder.h"
#include "StationWindow.h"
#include "TempDir.h"
#include "TileWidget.h"

namespace {

// The share of the tile's pixels in this colour.
double Share(const QImage& image, const QColor& colour) {
    long same = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) same += image.pixelColor(x, y) == colour ? 1 : 0;
    }
    return static_cast<double>(same) / (image.width() * image.height());
}

TEST(TileWidget, PaintsEachToneInItsColoursWithItsWordInLargeLetters) {
    const struct {
        const char* word;
        TileTone tone;
        QColor ground;  // most of the tile
        QColor ink;     // the words, and the outline
    } cases[] = {
        {"WAITING", TileTone::Grey, QColor(0xD6, 0xD6, 0xD6), QColor(0x20, 0x20, 0x20)},
        {"FLASHING", TileTone::Blue, QColor(0x0D, 0x47, 0xA1), Qt::white},
        {"PASS \u2014 REMOVE", TileTone::Green, QColor(0x1B, 0x5E, 0x20), Qt::white},
        {"FAIL \u2014 REMOVE", TileTone::Red, QColor(0xB7, 0x1C, 0x1C), Qt::white},
        {"DONE EARLIER \u2014 REMOVE", TileTone::GreenOutline, Qt::white, QColor(0x1B, 0x5E, 0x20)},
        {"SHARED SERIAL", TileTone::Amber, QColor(0xFF, 0xB3, 0x00), QColor(0x20, 0x20, 0x20)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.word);
        TileWidget tile;
        tile.resize(310, 170);  // a sixteenth of a 1280 x 800 screen
        StationTile look;
        look.slot = 3;
        look.location = "1-3";
        look.word = c.word;
        look.tone = c.tone;
        look.serial = "FWSIM1002";
        tile.SetTile(look);
        const QImage image = tile.grab().toImage();
        EXPECT_GT(Share(image, c.ground), 0.5);
        // The word, large: without it the ink is 0.1 % of the tile (13.6 % with the outline).
        EXPECT_GT(Share(image, c.ink), c.tone == TileTone::GreenOutline ? 0.145 : 0.02);
        EXPECT_EQ(tile.accessibleName().toStdString(), std::string("3 1-3: ") + c.word);
    }
}

TEST(StationWindow, SetUpStartsOnlyFromFirmwareAndLocksTheReleasedJob) {
    TempDir dir;
    const std::string ini = dir.Write("fwload.ini", "[KX-4700]\n[KX-4710 Basic]\n");
    const std::string firmware = dir.Write("fw.bin", "[NOV Card Printer]" + std::string(1500, '\x5A'));
    const std::string other = dir.Write("other.bin", "[NOV Card Printer]" + std::string(1500, '\x5B'));
    const std::string text = dir.Write("notes.txt", "not firmware");
    const std::string sha = "64231ef61828abcfd931b5718c6df3c2f732eceb76ce83059a23ba1b82fb9510";
    const struct {
        const char* name;
        std::string file;
        std::string sha256;  // --sha256
        std::string model;   // -m
        bool startable;
        std::string facts;
        bool jobEditable;
    } cases[] = {
        {"firmware", firmware, "", "", true, "Size 1,518 bytes     Byte sum 0x0F58\nSHA-256 " + sha, true},
        {"not firmware", text, "", "", false, "Not card printer firmware: " + text, true},
        {"no such file", dir.File("none.bin"), "", "", false, dir.File("none.bin") + ": No such file or directory",
         true},
        {"the released file, locked", firmware, sha, "KX-4710 Basic", true,
         "Size 1,518 bytes     Byte sum 0x0F58\nSHA-256 " + sha, false},
        {"another file than the released one", other, sha, "KX-4700", false,
         other + ": its SHA-256 is e1c17891d301e67c07f5573f05c56e9b5c64d378d100382c00b548f7d03d7569, not the " + sha +
             " that --sha256 asks for",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StationOptions options;
        options.ini = ini;
        options.firmware = c.file;
        options.sha256 = c.sha256;
        options.model = c.model;
        StationWindow window(options);
        EXPECT_EQ(window.windowTitle().toStdString(), "Card Printer Flashing Station");
        EXPECT_EQ(window.start->isEnabled(), c.startable);
        EXPECT_EQ(window.facts->text().toStdString(), c.facts);
        EXPECT_EQ(window.file->isEnabled(), c.jobEditable);
        EXPECT_EQ(window.model->isEnabled(), c.jobEditable);
        EXPECT_EQ(window.model->currentText().toStdString(), c.model.empty() ? "KX-4700" : c.model);
    }
}

}  // namespace
