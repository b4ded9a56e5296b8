// Sets FWSIM_* variables for one test and removes them all afterwards; the state folder is a fresh
// temporary one, so each test starts with a new printer.
#pragma once

#include <string>

#include "EnvironmentVariables.h"
#include "PrinterStore.h"
#include "TempDir.h"

class SimEnvironment {
public:
    SimEnvironment() {
        ClearAll();
        Set("FWSIM_STATE_DIR", stateDir_.Path());
        Set("FWSIM_LATENCY_MS", "1");
        Set("FWSIM_WRITE_MS", "5");
    }
    ~SimEnvironment() { ClearAll(); }
    SimEnvironment(const SimEnvironment&) = delete;
    SimEnvironment& operator=(const SimEnvironment&) = delete;

    void Set(const char* name, const std::string& value) { SetEnvironmentValue(name, value); }
    // FWSIM_DEVICES for so many card printers (a station's).
    static std::string CardPrinters(int printers) {
        std::string devices;
        for (int i = 0; i < printers; ++i) devices += (i > 0 ? ";" : "") + std::string("CARD PRINTER");
        return devices;
    }
    const std::string& StateDir() const { return stateDir_.Path(); }
    sim::PrinterState State() const { return sim::PrinterStore(stateDir_.Path()).Load(); }
    std::string StoredImage() const { return ReadWholeFile(stateDir_.Path() + "/image.bin"); }

private:
    static void ClearAll() {
        for (const char* name : {"FWSIM_DEVICES", "FWSIM_LATENCY_MS", "FWSIM_WRITE_MS", "FWSIM_SHORT_WRITE_MS",
                                 "FWSIM_RESTART_CALLS", "FWSIM_RESTART_MS", "FWSIM_STATE_DIR", "FWSIM_TRACE",
                                 "FWSIM_SERIAL", "FWSIM_RIBBON_READINGS", "FWSIM_FAULTS", "FWSIM_LOCATIONS"}) {
            RemoveEnvironmentValue(name);
        }
    }
    TempDir stateDir_;
};
