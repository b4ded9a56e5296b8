// The engine in real time against the virtual printer's real libraries, loaded by name: from
// discovery to the display lines in the printer's state.
#include <gtest/gtest.h>

#include "D2XX_Dyn.h"
#include "DownloadEngine.h"
#include "RealTimeHost.h"
#include "SimEnvironment.h"
#include "TempDir.h"

namespace {

TEST(EngineEndToEnd, DownloadsIntoTheVirtualPrinterAndSetsItsDisplay) {
    SimEnvironment sim;
    sim.Set("FWSIM_RESTART_CALLS", "1");
    TempDir dir;
    std::string image;
    for (int i = 0; i < 1500; ++i) image += static_cast<char>(i * 7);
    const std::string firmware = dir.Write("fw.bin", "[NOV Card Printer]" + image);

    ASSERT_TRUE(LoadD2XXLibrary());
    RealTimeHost host;
    DownloadEngine engine(host);
    host.Attach(engine);
    host.model = "kx-4700";
    host.settingsFile = dir.Write("fwload.ini", "[KX-4700]\n1=T,R,CENTER,\"CARD PRINTER\"\n3=I,-,-,logo\n");

    engine.BeginDownload();
    engine.RunDownload(firmware);
    engine.EndDownload();

    EXPECT_EQ(host.Status(), "Status: Initialization complete!!...");
    EXPECT_EQ(host.SizeText(), "1,518 Bytes");
    const sim::PrinterState state = sim.State();
    EXPECT_EQ(state.downloads, 1);
    const std::string stored = sim.StoredImage();
    ASSERT_EQ(stored.size(), 3u * 512u);
    EXPECT_EQ(stored.substr(0, image.size()), image);
    EXPECT_EQ(stored.substr(image.size()), std::string(stored.size() - image.size(), '\0'));
    EXPECT_EQ(state.lines[0].text, "  CARD PRINTER  ");
    EXPECT_EQ(state.lines[0].kind, 0x40);
    EXPECT_FALSE(state.lines[1].written);
    EXPECT_TRUE(state.lines[2].extended);
    EXPECT_EQ(state.lines[2].text, "logo");
    EXPECT_TRUE(state.displayOn);
    EXPECT_FALSE(IsCardPrinterLinkHeld());
    UnloadD2XXLibrary();
}

}  // namespace
