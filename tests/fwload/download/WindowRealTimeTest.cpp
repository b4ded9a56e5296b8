// fwload's window with Qt's own timer and event loop against the virtual printer, and the GUI
// programs started where there is no display.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <sstream>

#include <gtest/gtest.h>

#include "D2XX_Dyn.h"
#include "Main.h"
#include "MessageBoxRecorder.h"
#include "SimEnvironment.h"
#include "Subprocess.h"
#include "SuiteVersion.h"
#include "TraceTime.h"

namespace {

// Qt's default timer may fire up to 5 % early, which only a real clock shows: the virtual clock of
// the other window tests delivers every tick exactly on time. So this runs in real time, on a tiny
// image, with the poll refused so that the download ends right after the pause.
TEST(WindowRealTime, ThePauseBeforeThePollIsNeverShorterThanTwoSeconds) {
    SimEnvironment sim;
    TempDir dir;
    const std::string trace = dir.File("d2xx.trace");
    sim.Set("FWSIM_TRACE", trace);
    sim.Set("FWSIM_FAULTS", "nak:poll");
    MessageBoxRecorder boxes;
    TFrmMainServices services;
    services.settingsFile = dir.Write("fwload.ini", "[KX-4700]\n");
    TFrmMain form(services);
    form.show();
    form.cbModel->setCurrentIndex(0);
    form.edtFilename->setText(QString::fromStdString(dir.Write("fw.bin", "[NOV Card Printer]x")));
    constexpr int kRuns = 3;
    for (int run = 0; run < kRuns; ++run) form.BtnDownload->click();
    EXPECT_EQ(form.lblProgress->text(), "Status: Download Failure!!...");
    EXPECT_TRUE(boxes.boxes.empty());

    const std::string lines = ReadWholeFile(trace);
    std::size_t from = 0;
    for (int run = 0; run < kRuns; ++run) {
        const double reply = TraceTime(lines, "-> 1 = FT_OK: 06", from);
        const double poll = TraceTime(lines, "FT_Write(5)", from);
        ASSERT_GE(reply, 0) << "run " << run;
        ASSERT_GE(poll, 0) << "run " << run;
        EXPECT_GE(poll - reply, 2.000) << "run " << run;
        std::printf("run %d: %.1f ms from the mode-change reply to the poll\n", run + 1, (poll - reply) * 1000);
    }
}

// fwload-cli runs the window's engine: the printer gets the very same bytes from both.
TEST(WindowAndCli, SendThePrinterTheSameBytes) {
    SimEnvironment sim;
    TempDir dir;
    const std::string ini = dir.Write("fwload.ini", "[KX-4700]\n1=T,R,LEFT,HELLO\n");
    const std::string firmware = dir.Write("fw.bin", "[NOV Card Printer]" + std::string(1500, '\x5A'));
    const std::string windowTrace = dir.File("window.trace");
    sim.Set("FWSIM_TRACE", windowTrace);
    sim.Set("FWSIM_RESTART_CALLS", "0");
    {
        MessageBoxRecorder boxes;
        TFrmMainServices services;
        services.settingsFile = ini;
        TFrmMain window(services);
        window.show();
        QCoreApplication::processEvents();
        window.edtFilename->setText(QString::fromStdString(firmware));
        window.cbModel->setCurrentIndex(0);
        window.BtnDownload->click();
        EXPECT_TRUE(boxes.boxes.empty());
    }
    const std::string cliTrace = dir.File("cli.trace");
    ProcessOptions options;
    options.environment = {"FWSIM_TRACE=" + cliTrace};
    ASSERT_EQ(RunProcess(FWLOAD_CLI_PATH, {"--quiet", "--ini", ini, "--model", "kx-4700", firmware}, options).exitCode,
              0);

    const std::vector<std::string> fromWindow = WrittenBytes(windowTrace);
    ASSERT_EQ(fromWindow.size(), 7u);  // mode change, poll, three data frames, write, checksum
    EXPECT_EQ(WrittenBytes(cliTrace), fromWindow);
    EXPECT_EQ(sim.State().downloads, 2);
}

TEST(GuiPrograms, TellTheirVersionAndWithoutADisplaySaySoAndExitWith1) {
    const struct {
        const char* path;
        const char* line;
    } programs[] = {
        {FWLOAD_PATH,
         "fwload: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
         "fwload-cli does the same download in a terminal\n"},
        {SENSORPOS_PATH,
         "sensorpos: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
         "set)\n"},
        {RIBBONCAP_PATH,
         "ribboncap: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
         "set)\n"},
        {RIBBONSENSE_PATH,
         "ribbonsense: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is "
         "set)\n"},
        {FWLOAD_STATION_PATH,
         "fwload-station: no display to open the window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
         "fwload-cli station flashes the same way in a terminal\n"},
    };
    ProcessOptions options;
    options.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    options.timeoutSeconds = 30;
    for (const auto& program : programs) {
        const ProcessResult result = RunProcess(program.path, {}, options);
        EXPECT_EQ(result.exitCode, 1) << program.path;
        EXPECT_EQ(result.err, program.line);
        EXPECT_EQ(result.out, "");
        const ProcessResult version = RunProcess(program.path, {"--version"}, options);
        EXPECT_EQ(version.exitCode, 0) << program.path;
        EXPECT_EQ(version.out, std::string(program.line).substr(0, std::string(program.line).find(':')) + " " +
                                   SUITE_VERSION + "\n");
    }
}

}  // namespace
