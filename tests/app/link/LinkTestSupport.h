// Fixture for the link tests: the simulator beside the test program, a
// scenario per case, and stand-ins for the window and the worker.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/DeviceCommands.h"
#include "app/TerminalLink.h"
#include "tests/sim/SimTestSupport.h"

namespace linktest {

struct FakeDisplay : app::ILinkDisplay {
    std::vector<std::string> FSerials;
    std::vector<std::string> FVersions;
    void ShowSerialNumber(const std::string& serial) override { FSerials.push_back(serial); }
    void ShowFirmwareVersion(const std::string& text) override { FVersions.push_back(text); }
};

struct FakeHost : app::ICommandHost {
    int FStops = 0;
    std::vector<bool> FPumpStates;
    void RequestStop() override { ++FStops; }
    void ShowPumpState(bool on) override { FPumpStates.push_back(on); }
};

// Names of the calls in the log, in order; FT_GetStatus polls left out.
inline std::vector<std::string> CallNames(const std::vector<simtest::LoggedCall>& calls)
{
    std::vector<std::string> names;
    for (const auto& call : calls)
        if (call.FName != "FT_GetStatus")
            names.push_back(call.FName);
    return names;
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(app::LoadDeviceLibrary(), nullptr) << "ftd2xx.dll beside the test program";
    }
    // A link that the device check found connected to device 0.
    void Connect(app::TTerminalLink& link)
    {
        ASSERT_TRUE(link.OpenDevice()) << bench.LogText();
        link.SetConnected(true);
    }
    simtest::SimBench bench;
    FakeDisplay display;
    FakeHost host;
};

}  // namespace linktest
