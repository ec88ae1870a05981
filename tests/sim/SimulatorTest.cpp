// The terminal simulator on its own: exports, scenario sources, the pump and
// tank model, the faults it injects and the driver behaviour the link meets.
// The cases run on the simulator's virtual clock: time moves only when a case
// moves it, so every reply, pump run and time-out is exact however loaded the
// machine is. One case checks real time, on which the program runs.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "d2xx/D2xx.h"
#include "rtl/Libraries.h"
#include "rtl/TextScan.h"
#include "sim/TestClock.h"
#include "tests/sim/SimTestSupport.h"

namespace {

using simtest::SimBench;

using Driver = rtl::RuntimeLibrary<TD2xxEntryPoints>;

// Loaded once, with every entry point, for the whole test program.
const Driver& TheDriver()
{
    static const Driver driver(SIM_DLL_PATH);
    return driver;
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(TheDriver()) << "GetLastError " << GetLastError();
        FEntries = &TheDriver().Entries();
        ASSERT_TRUE(rtl::BindEntryTable(TheDriver().Module(), FClock).Complete()) << "the clock's exports";
        FClock.UseVirtualClock(TRUE);
    }
    void TearDown() override
    {
        if (FHandle) FEntries->Close(FHandle);
        FClock.UseVirtualClock(FALSE);
    }

    // Moves the simulator's clock on.
    void Wait(DWORD ms) { FClock.Sleep(ms); }
    DWORD Now() const { return FClock.TickCount(); }

    FT_HANDLE OpenFirst()
    {
        FHandle = 0;
        EXPECT_EQ(FEntries->Open(0, &FHandle), FT_OK) << FBench.LogText();
        return FHandle;
    }
    // One command and its whole reply, read as soon as it is due.
    std::string Exchange(const std::string& command, DWORD waitMs = 40)
    {
        DWORD written = 0;
        EXPECT_EQ(
            FEntries->Write(FHandle, const_cast<char*>(command.data()), static_cast<DWORD>(command.size()), &written),
            FT_OK);
        Wait(waitMs);
        return ReadQueued();
    }
    std::string ReadQueued()
    {
        DWORD rx = 0, tx = 0, events = 0;
        EXPECT_EQ(FEntries->GetStatus(FHandle, &rx, &tx, &events), FT_OK);
        std::string bytes(rx, '\0');
        DWORD read = 0;
        if (rx) {
            EXPECT_EQ(FEntries->Read(FHandle, bytes.data(), rx, &read), FT_OK);
        }
        bytes.resize(read);
        return bytes;
    }
    static int Field(const std::string& tareReply, int number)
    {
        int f[10] = {};
        if (rtl::ScanFields(tareReply, "QVTARE=%d,%d,%d,%d,%d,%d,%d,%d,%d,%d;",
                            {f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9]}) != 10)
            return -999999;
        return f[number - 1];
    }

    SimBench FBench;
    const TD2xxEntryPoints* FEntries = nullptr;
    TSimClockEntryPoints FClock;
    FT_HANDLE FHandle = 0;
};

TEST_F(SimulatorTest, ExportsUndecoratedNamesOnly)
{
    // clang-format off
    static constexpr const char* kNames[] = {
        "FT_ListDevices", "FT_Open", "FT_Close", "FT_ResetDevice", "FT_Purge", "FT_Read",
        "FT_Write", "FT_SetDivisor", "FT_SetTimeouts", "FT_SetBaudRate", "FT_GetDeviceInfo", "FT_GetStatus",
        "FT_GetQueueStatus", "FT_SetRts", "FT_SetDataCharacteristics", "FT_SetFlowControl", "FT_SetLatencyTimer",
        "SimUseVirtualClock", "SimTickCount", "SimSleep"};  // the tests' clock beside the driver's seventeen
    for (const char* name : kNames)
        EXPECT_NE(GetProcAddress(TheDriver().Module(), name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(TheDriver().Module(), "FT_Open@8"), nullptr);
    EXPECT_EQ(GetProcAddress(TheDriver().Module(), "SimSleep@4"), nullptr);
}

TEST_F(SimulatorTest, BuiltInDeviceWhenNoScenarioIsNamed)
{
    SetEnvironmentVariableW(L"VOLUMETRA_SIM_SCENARIO", nullptr);
    SetEnvironmentVariableW(L"VOLUMETRA_SIM_LOG", nullptr);
    DWORD count = 0;
    ASSERT_EQ(FEntries->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    ASSERT_EQ(count, 1u);
    char description[64] = {};
    ASSERT_EQ(FEntries->ListDevices(reinterpret_cast<void*>(0), description, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION), FT_OK);
    EXPECT_STREQ(description, "Zarvonix QVM-A SIM");
    char serial[16] = {};
    ASSERT_EQ(FEntries->ListDevices(reinterpret_cast<void*>(0), serial, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER), FT_OK);
    EXPECT_STREQ(serial, "SIM00001");
    EXPECT_EQ(FEntries->ListDevices(reinterpret_cast<void*>(1), description, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
              FT_DEVICE_NOT_FOUND);
}

TEST_F(SimulatorTest, ScenarioNamesDevicesAndLogsCalls)
{
    FBench.Use("[Devices]\nCount=2\n[Device0]\nDescription=Other bridge\nSerial=XX1\nTerminal=0\n"
              "[Device1]\nDescription=Zarvonix QVM-B\nSerial=SIM4242\n");
    DWORD count = 0;
    ASSERT_EQ(FEntries->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 2u);
    char description[64] = {};
    ASSERT_EQ(FEntries->ListDevices(reinterpret_cast<void*>(1), description, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION), FT_OK);
    EXPECT_STREQ(description, "Zarvonix QVM-B");

    FT_HANDLE other = 0;
    ASSERT_EQ(FEntries->Open(0, &other), FT_OK);
    FHandle = other;
    EXPECT_EQ(Exchange("FL_READ_VERSION$"), "") << "a bridge that is not a terminal answers nothing";
    const auto calls = FBench.Calls("FT_ListDevices");
    ASSERT_EQ(calls.size(), 2u) << FBench.LogText();
    EXPECT_EQ(calls[0].Arg("flags"), "0x80000000");
    EXPECT_EQ(calls[0].Number("count"), 2);
    EXPECT_EQ(calls[1].Arg("text"), "Zarvonix QVM-B");
    ASSERT_EQ(FBench.Calls("FT_Write").size(), 1u);
    EXPECT_EQ(FBench.Calls("FT_Write")[0].Arg("data"), "FL_READ_VERSION$");
}

TEST_F(SimulatorTest, DemoBenchOfTheRunScript)
{
    SetEnvironmentVariableW(L"VOLUMETRA_SIM_SCENARIO", DEMO_SCENARIO_PATH);
    SetEnvironmentVariableW(L"VOLUMETRA_SIM_LOG", nullptr);
    char description[64] = {};
    ASSERT_EQ(FEntries->ListDevices(reinterpret_cast<void*>(0), description, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION), FT_OK);
    EXPECT_STREQ(description, "Zarvonix QVM-A SIM");
    OpenFirst();
    EXPECT_EQ(Exchange("FL_READ_VERSION$"), "QVMA-10.45 SIM\r\n");
    const std::string tare = Exchange("QVTARE=0,0,7");
    EXPECT_NEAR(Field(tare, 8), 124, 3) << "2 litres on the demo curve: " << tare;
}

TEST_F(SimulatorTest, PumpFlowMeterAndSensorsFollowTheScenario)
{
    // 60 l/min = 1 l/s; 100 pulses per litre; ADC 100 + 100 per litre; no lag.
    FBench.Use("[Pump]\nFlowLitresPerMinute=60\nPulsesPerLitre=100\nCounterStart=5000\n"
              "[Tank]\nLitres=2\nCapacity=50\nSettleMs=0\n"
              "[Sensors]\nCount=2\nTable=0:100,10:1100\nNoise=0\n[Sensor1]\nTable=0:4000,10:3000\n");
    OpenFirst();
    const std::string before = Exchange("QVTARE=0,0,0");
    EXPECT_EQ(Field(before, 6), 5000) << before;
    EXPECT_EQ(Field(before, 8), 300) << before;  // 2 litres

    Exchange("QVTARE=1,1,0");
    Wait(1000);
    const std::string after = Exchange("QVTARE=0,0,0");  // the pump ran 40 + 1000 ms
    Wait(300);
    const std::string stopped = Exchange("QVTARE=0,0,1");

    const int pulses = Field(after, 6) - 5000;
    EXPECT_EQ(pulses, 104) << "1.04 l: " << after;
    const double litres = 2 + pulses / 100.0;
    EXPECT_NEAR(Field(after, 8), 100 + 100 * litres, 2) << after;
    EXPECT_EQ(Field(after, 5), 30) << "the true level in decilitres";
    EXPECT_EQ(Field(stopped, 6), Field(after, 6)) << "the counter stands while the pump is off";
    EXPECT_NEAR(Field(stopped, 8), 4000 - 100 * litres, 2) << "sensor 1 has a table of its own: " << stopped;
    EXPECT_EQ(Field(Exchange("QVTARE=0,0,5"), 8), 0) << "a sensor that is not on the bus reads 0";
}

TEST_F(SimulatorTest, SensorsSettleAfterThePumpStops)
{
    FBench.Use("[Pump]\nFlowLitresPerMinute=600\nPulsesPerLitre=10\n"
              "[Tank]\nSettleMs=300\n[Sensors]\nTable=0:0,100:1000\nNoise=0\n");
    OpenFirst();
    Exchange("QVTARE=1,1,0");
    Wait(500);
    const std::string stop = Exchange("QVTARE=0,0,0");
    const double litres = Field(stop, 6) / 10.0;
    EXPECT_EQ(Field(stop, 6), 54) << "5.4 l in 540 ms";
    const int lagging = Field(stop, 8);
    Wait(2000);
    const int settled = Field(Exchange("QVTARE=0,0,0"), 8);
    EXPECT_LT(lagging, litres * 10 - 5) << "the surface lags behind while filling: " << stop;
    EXPECT_NEAR(settled, litres * 10, 2);
}

TEST_F(SimulatorTest, InjectsTheFaultsOfTheScenario)
{
    static constexpr struct {
        const char* fault;
        const char* second;  // the second version reply, read 40 ms after its command
        const char* later;   // what arrives 300 ms later still
    } kCases[] = {
        {"Version.NoReply=2", "", ""},
        {"Version.Stray=2", "~QVMA-10.45 abc", ""},
        {"Version.Truncate=2", "QVMA-1", ""},
        {"Version.Late=2", "", "QVMA-10.45 abc"},
    };
    // clang-format on
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.fault);
        FBench.Use(std::string("[Terminal]\nVersion=QVMA-10.45 abc\n[Link]\nStrayByte=0x7E\nTruncateBytes=6\n"
                               "LateReplyMs=250\n[Faults]\n") +
                   c.fault + "\n");
        OpenFirst();
        EXPECT_EQ(Exchange("FL_READ_VERSION$"), "QVMA-10.45 abc");
        EXPECT_EQ(Exchange("FL_READ_VERSION$"), c.second);
        Wait(300);
        EXPECT_EQ(ReadQueued(), c.later);
        EXPECT_EQ(Exchange("FL_READ_VERSION$"), "QVMA-10.45 abc") << "the third is sound";
        FEntries->Close(FHandle);
        FHandle = 0;
    }
}

TEST_F(SimulatorTest, LateReplyHoldsBackTheNextOne)
{
    FBench.Use("[Link]\nReplyDelayMs=5\nLateReplyMs=200\n[Faults]\nPeriodCount.Late=1\n");
    OpenFirst();
    DWORD written = 0;
    char late[] = "PERIODCOUNT34=0;";
    FEntries->Write(FHandle, late, sizeof late - 1, &written);
    Wait(20);
    char next[] = "INPFLAGS3=1,0,0,0,B,0,0,0,0;";
    FEntries->Write(FHandle, next, sizeof next - 1, &written);
    Wait(40);
    EXPECT_EQ(ReadQueued(), "") << "the terminal answers in order";
    Wait(139);
    EXPECT_EQ(ReadQueued(), "") << "199 ms after the late command";
    Wait(1);
    EXPECT_EQ(ReadQueued(), "OK\r\nOK\r\n") << "both at 200 ms, the second held back behind the first";
}

TEST_F(SimulatorTest, UnpluggedDeviceLeavesTheList)
{
    FBench.Use("[Device0]\nUnplugAfterMs=300\n");
    OpenFirst();
    EXPECT_NE(Exchange("FL_READ_VERSION$"), "");
    Wait(259);
    DWORD rx = 0, tx = 0, events = 0;
    EXPECT_EQ(FEntries->GetStatus(FHandle, &rx, &tx, &events), FT_OK) << "299 ms after the open";
    Wait(1);
    EXPECT_EQ(FEntries->GetStatus(FHandle, &rx, &tx, &events), FT_IO_ERROR) << "300 ms after it";
    DWORD count = 99;
    ASSERT_EQ(FEntries->ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
    EXPECT_EQ(count, 0u);
    FT_HANDLE again = 0;
    EXPECT_EQ(FEntries->Open(0, &again), FT_DEVICE_NOT_FOUND);
    EXPECT_EQ(FEntries->Close(FHandle), FT_OK) << "the handle can still be given back";
    FHandle = 0;
}

TEST_F(SimulatorTest, SecondOpenOfTheSameDeviceIsRefused)
{
    FBench.Use("[Devices]\nCount=1\n");
    OpenFirst();
    FT_HANDLE second = 0;
    EXPECT_EQ(FEntries->Open(0, &second), FT_DEVICE_NOT_OPENED);
    EXPECT_EQ(second, 0u);
}

TEST_F(SimulatorTest, ReadWaitsForTheBytesAskedUpToTheReadTimeout)
{
    FBench.Use("[Link]\nReplyDelayMs=100\n");
    OpenFirst();
    ASSERT_EQ(FEntries->SetTimeouts(FHandle, 400, 200), FT_OK);
    DWORD written = 0;
    char command[] = "FL_READ_VERSION$";
    FEntries->Write(FHandle, command, sizeof command - 1, &written);
    char buffer[64] = {};
    DWORD read = 0;
    const DWORD start = Now();
    ASSERT_EQ(FEntries->Read(FHandle, buffer, 5, &read), FT_OK);
    EXPECT_EQ(Now() - start, 100u) << "the read waits until the reply is due";
    EXPECT_EQ(std::string(buffer, read), "QVMA-");

    const DWORD again = Now();
    ASSERT_EQ(FEntries->Read(FHandle, buffer, 60, &read), FT_OK);
    EXPECT_EQ(Now() - again, 400u) << "fewer bytes than asked: the read time-out runs out";
    EXPECT_EQ(std::string(buffer, read), "10.45 SIM\r\n");

    ASSERT_EQ(FEntries->SetTimeouts(FHandle, 0, 200), FT_OK);
    const DWORD third = Now();
    ASSERT_EQ(FEntries->Read(FHandle, buffer, 60, &read), FT_OK);
    EXPECT_EQ(Now() - third, 0u) << "a read time-out of 0 waits for nothing";
    EXPECT_EQ(read, 0u);
}

TEST_F(SimulatorTest, SerialOfSixteenCharactersFillsTheBuffer)
{
    FBench.Use("[Device0]\nSerial=SIM0123456789ABC\n");
    OpenFirst();
    char serial[17];
    std::memset(serial, '#', sizeof serial);
    char description[64] = {};
    ULONG type = 0;
    DWORD id = 0;
    ASSERT_EQ(FEntries->GetDeviceInfo(FHandle, &type, &id, serial, description, nullptr), FT_OK);
    EXPECT_EQ(std::string(serial, 16), "SIM0123456789ABC");
    EXPECT_EQ(serial[16], '#') << "nothing is written past the 16 bytes";
}

TEST_F(SimulatorTest, RunsOnRealTimeUnlessTheVirtualClockIsOn)
{
    FBench.Use("[Link]\nReplyDelayMs=5\n");
    OpenFirst();
    DWORD written = 0;
    char command[] = "FL_READ_VERSION$";
    ASSERT_EQ(FEntries->Write(FHandle, command, sizeof command - 1, &written), FT_OK);
    Sleep(100);
    EXPECT_EQ(ReadQueued(), "") << "on the virtual clock no real time passes for the terminal";
    const DWORD virtualNow = Now();

    // Real time, as the program always has it: a real pause lets the reply in,
    // and the clock goes on from where the virtual one stood.
    FClock.UseVirtualClock(FALSE);
    EXPECT_GE(Now(), virtualNow);
    Sleep(50);
    EXPECT_EQ(ReadQueued(), "QVMA-10.45 SIM\r\n");
    ASSERT_EQ(FEntries->Write(FHandle, command, sizeof command - 1, &written), FT_OK);
    const DWORD start = GetTickCount();
    FClock.Sleep(50);
    // The tick count moves in steps of up to 16 ms: 50 ms of real sleep
    // reads as no less than 30, a virtual one as 0.
    EXPECT_GE(GetTickCount() - start, 30u) << "SimSleep sleeps on real time";
    EXPECT_EQ(ReadQueued(), "QVMA-10.45 SIM\r\n");

    FClock.UseVirtualClock(TRUE);
    const DWORD realNow = Now();
    EXPECT_GE(realNow, virtualNow + 50) << "and back on the virtual clock, time does not run back";
    FClock.Sleep(1234);
    EXPECT_EQ(Now(), realNow + 1234);
    EXPECT_NE(FBench.LogText().find("# clock real"), std::string::npos) << FBench.LogText();
}

}  // namespace
