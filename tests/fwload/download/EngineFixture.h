// A download on the virtual clock: the fake device behind the link, the test window in front.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DownloadEngine.h"
#include "FakeD2xx.h"
#include "FakeSdk.h"
#include "TempDir.h"
#include "TestHost.h"

using Bytes = std::vector<std::uint8_t>;

class EngineTest : public ::testing::Test {
protected:
    EngineTest() {
        host.Attach(engine);
        host.model = "KX-4700";
        host.settingsFile = dir.Write("fwload.ini", "[KX-4700]\n1=T,R,LEFT,\"HELLO WORLD\"\n2=A\n");
    }

    // A firmware file: the header, then the image.
    std::string Firmware(const Bytes& image, const std::string& name = "image.bin") {
        std::string bytes = "[NOV Card Printer]";
        bytes.append(image.begin(), image.end());
        return dir.Write(name, bytes);
    }

    // The Download click's preparation, the download, and the restore.
    void Run(const std::string& file) {
        engine.BeginDownload();
        engine.RunDownload(file);
        engine.EndDownload();
    }

    // The frames the printer received, one per write.
    std::vector<Bytes> Writes() const {
        std::vector<Bytes> writes;
        for (const auto& write : device.writes) writes.push_back(write.bytes);
        return writes;
    }

    VirtualClock clock;
    FakeD2xx device{clock};
    TestHost host{clock};
    DownloadEngine engine{host};
    TempDir dir;
};
