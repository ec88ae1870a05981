// Fixture for the link tests: the simulator beside the test program, a
// scenario per case, and stand-ins for the window and the worker. The
// simulator runs on its virtual clock, and a link put on it waits on it too:
// time-outs and replies then come at exact times, and a wait of seconds takes
// none.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/DeviceCommands.h"
#include "app/TerminalLink.h"
#include "rtl/Libraries.h"
#include "sim/TestClock.h"
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
        if (call.Name != "FT_GetStatus") names.push_back(call.Name);
    return names;
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        HMODULE library = app::LoadDeviceLibrary();
        ASSERT_NE(library, nullptr) << "ftd2xx.dll beside the test program";
        ASSERT_TRUE(rtl::BindEntryTable(library, FClock).Complete()) << "the simulator's clock exports";
        FClock.UseVirtualClock(TRUE);
    }
    void TearDown() override { FClock.UseVirtualClock(FALSE); }

    // The link waits on the simulator's clock.
    void OnSimulatorClock(app::TTerminalLink& link)
    {
        link.SetTickSource(FClock.TickCount);
        link.SetPause(FClock.Sleep);
    }
    // A link on the simulator's clock that the device check found connected
    // to device 0.
    void Connect(app::TTerminalLink& link)
    {
        OnSimulatorClock(link);
        ASSERT_TRUE(link.OpenDevice()) << FBench.LogText();
        link.SetConnected(true);
    }
    // Moves the simulator's clock on, as the pause of a worker would.
    void Wait(DWORD ms) { FClock.Sleep(ms); }
    DWORD Now() const { return FClock.TickCount(); }

    TSimClockEntryPoints FClock;
    simtest::SimBench FBench;
    FakeDisplay FDisplay;
    FakeHost FHost;
};

}  // namespace linktest
