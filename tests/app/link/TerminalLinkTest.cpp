// The terminal link against the simulator: finding, configuring, opening and
// closing the terminal, and how replies are awaited and read.
#include "tests/app/link/LinkTestSupport.h"

#include <cstring>

namespace {

using linktest::CallNames;
using linktest::LinkTest;

std::string DevicesScenario(const std::vector<std::string>& descriptions)
{
    std::string ini = "[Devices]\nCount=" + std::to_string(descriptions.size()) + "\n";
    for (std::size_t i = 0; i < descriptions.size(); ++i)
        ini += "[Device" + std::to_string(i) + "]\nDescription=" + descriptions[i] + "\nSerial=SIM-" +
               std::to_string(i) + "\n";
    return ini;
}

TEST_F(LinkTest, FindsTheTerminalByTheBeginningOfItsDescription)
{
    static const struct {
        const char* name;
        std::vector<std::string> devices;
        int index;  // -1: no terminal
    } kCases[] = {
        {"exactly the prefix", {"Zarvonix"}, 0},
        {"prefix and more", {"Zarvonix QVM-A"}, 0},
        {"prefix and more without a blank", {"ZarvonixQVM"}, 0},
        {"seven characters only", {"Zarvoni"}, -1},
        {"other case", {"ZARVONIX QVM"}, -1},
        {"two matching: the lower index", {"USB Serial Port", "Zarvonix B", "Zarvonix C"}, 1},
        {"no devices", {}, -1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        FBench.Use(DevicesScenario(c.devices));
        app::TTerminalLink link(&FDisplay);
        FDisplay.FSerials.clear();
        link.SetDeviceIndex(7);
        EXPECT_EQ(link.OpenDevice(), c.index >= 0);
        EXPECT_EQ(link.DeviceIndex(), c.index);
        const auto opens = FBench.Calls("FT_Open");
        if (c.index < 0) {
            EXPECT_TRUE(opens.empty());
            EXPECT_TRUE(FDisplay.FSerials.empty());
        } else {
            ASSERT_EQ(opens.size(), 1u) << FBench.LogText();
            EXPECT_EQ(opens[0].Number("index"), c.index);
            EXPECT_EQ(FDisplay.FSerials, std::vector<std::string>{"SIM-" + std::to_string(c.index)});
        }
        EXPECT_EQ(link.DeviceHandle(), 0u) << "the device is closed again";
    }
}

TEST_F(LinkTest, OpenDeviceConfiguresTheBridgeAndClosesIt)
{
    FBench.Use(DevicesScenario({"Zarvonix QVM-A"}));
    app::TTerminalLink link(&FDisplay);
    ASSERT_TRUE(link.OpenDevice());
    const auto calls = FBench.Calls();
    const std::vector<std::string> expected = {
        "FT_ListDevices", "FT_ListDevices",     "FT_Open",           "FT_SetBaudRate",   "FT_SetDataCharacteristics",
        "FT_SetTimeouts", "FT_SetLatencyTimer", "FT_SetFlowControl", "FT_GetDeviceInfo", "FT_ResetDevice",
        "FT_Close"};
    ASSERT_EQ(CallNames(calls), expected) << FBench.LogText();
    EXPECT_EQ(calls[0].Arg("flags"), "0x80000000");
    EXPECT_EQ(calls[1].Arg("flags"), "0x40000002");
    EXPECT_EQ(calls[1].Arg("arg1"), "0x0") << "the index is passed by value";
    EXPECT_EQ(calls[3].Number("baud"), 460800);
    EXPECT_EQ(calls[4].Number("bits"), 8);
    EXPECT_EQ(calls[4].Number("stop"), 0);
    EXPECT_EQ(calls[4].Number("parity"), 0);
    EXPECT_EQ(calls[5].Number("read"), 1000);
    EXPECT_EQ(calls[5].Number("write"), 200);
    EXPECT_EQ(calls[6].Number("ms"), 1);
    EXPECT_EQ(calls[7].Number("flow"), 0);
    EXPECT_EQ(calls[7].Number("xon"), 0);
    EXPECT_EQ(calls[7].Number("xoff"), 0);
    EXPECT_EQ(calls[8].Arg("reserved"), "0x0");
    EXPECT_EQ(calls[10].Number("open"), 0) << "no handle left open in the driver";
    EXPECT_EQ(FDisplay.FSerials, std::vector<std::string>{"SIM-0"});
}

TEST_F(LinkTest, AFailingConfigurationStepStopsTheRestAndShowsNothing)
{
    static constexpr const char* kSteps[] = {"FT_SetBaudRate",     "FT_SetDataCharacteristics", "FT_SetTimeouts",
                                             "FT_SetLatencyTimer", "FT_SetFlowControl",         "FT_GetDeviceInfo"};
    for (std::size_t failing = 0; failing < std::size(kSteps); ++failing) {
        SCOPED_TRACE(kSteps[failing]);
        FBench.Use(DevicesScenario({"Zarvonix"}) + "[Link]\nFailCalls=" + kSteps[failing] + "\n");
        FDisplay.FSerials.clear();
        app::TTerminalLink link(&FDisplay);
        EXPECT_FALSE(link.OpenDevice());
        EXPECT_EQ(link.DeviceIndex(), 0);
        EXPECT_TRUE(FDisplay.FSerials.empty());
        for (std::size_t later = failing + 1; later < std::size(kSteps); ++later)
            EXPECT_TRUE(FBench.Calls(kSteps[later]).empty()) << kSteps[later];
        const auto closes = FBench.Calls("FT_Close");
        ASSERT_EQ(closes.size(), 1u);
        EXPECT_EQ(closes[0].Number("open"), 0);
        EXPECT_EQ(link.DeviceHandle(), 0u);
    }
}

TEST_F(LinkTest, ARefusedOpenKeepsTheIndexAndNothingOpen)
{
    FBench.Use("[Device0]\nDescription=Zarvonix\nOpenFails=1\n");
    app::TTerminalLink link(&FDisplay);
    EXPECT_FALSE(link.OpenDevice());
    EXPECT_EQ(link.DeviceIndex(), 0);
    EXPECT_EQ(link.DeviceHandle(), 0u);
    EXPECT_TRUE(FDisplay.FSerials.empty());
    EXPECT_TRUE(FBench.Calls("FT_SetBaudRate").empty());
}

TEST_F(LinkTest, SerialNumberThatFillsItsBufferIsShownWithoutOverrun)
{
    FBench.Use("[Device0]\nDescription=Zarvonix\nSerial=SIM0123456789ABC\n");
    app::TTerminalLink link(&FDisplay);
    ASSERT_TRUE(link.OpenDevice());
    EXPECT_EQ(FDisplay.FSerials, std::vector<std::string>{"SIM0123456789ABC"});
}

TEST_F(LinkTest, IsDeviceOpenNeedsAConnectedTerminalWithAnIndex)
{
    FBench.Use(DevicesScenario({"Zarvonix"}));
    app::TTerminalLink link(&FDisplay);
    EXPECT_FALSE(link.IsDeviceOpen()) << "not connected";
    link.SetConnected(true);
    link.SetDeviceIndex(-1);
    EXPECT_FALSE(link.IsDeviceOpen()) << "no index";
    EXPECT_TRUE(FBench.Calls("FT_Open").empty());

    link.SetDeviceIndex(0);
    ASSERT_TRUE(link.IsDeviceOpen());
    EXPECT_NE(link.DeviceHandle(), 0u);
    // The device check probes again while the idle poll holds the device: the
    // driver refuses a second open, so the held handle must go back first.
    ASSERT_TRUE(link.IsDeviceOpen()) << FBench.LogText();
    const auto calls = FBench.Calls();
    EXPECT_EQ(CallNames(calls), (std::vector<std::string>{"FT_Open", "FT_ResetDevice", "FT_Close", "FT_Open"}));
    for (const auto& open : FBench.Calls("FT_Open")) EXPECT_EQ(open.Number("open"), 1) << "one driver handle at a time";
    link.CloseDevice();
    EXPECT_EQ(link.DeviceHandle(), 0u);
    EXPECT_EQ(FBench.Calls("FT_Close").back().Number("open"), 0);
}

TEST_F(LinkTest, IsDeviceOpenFailureLeavesHandleZero)
{
    FBench.Use(DevicesScenario({"Zarvonix"}));
    app::TTerminalLink link(&FDisplay);
    Connect(link);
    FBench.Use("[Device0]\nDescription=Zarvonix\nOpenFails=1\n");
    EXPECT_FALSE(link.IsDeviceOpen());
    EXPECT_EQ(link.DeviceHandle(), 0u);
}

TEST_F(LinkTest, WithoutADeviceNothingIsSentAndNothingAwaited)
{
    FBench.Use(DevicesScenario({"Zarvonix"}));
    app::TTerminalLink link(&FDisplay);
    OnSimulatorClock(link);
    link.SendDeviceCommand("FL_READ_VERSION$");
    app::TReplyBuffer<100> reply;
    std::memset(reply.Data(), 'x', reply.Size());
    DWORD count = 99;
    const DWORD start = Now();
    EXPECT_EQ(link.ReceiveReply(reply, count, 300), 0u);
    EXPECT_EQ(Now() - start, 0u) << "no wait at all";
    EXPECT_EQ(count, 0u);
    EXPECT_STREQ(reply.Text(), "") << "the buffer is cleared";
    EXPECT_TRUE(FBench.Calls().empty()) << FBench.LogText();
}

TEST_F(LinkTest, TimeOutCostsAboutTheTimeOut)
{
    FBench.Use(DevicesScenario({"Zarvonix"}) + "[Faults]\nVersion.NoReply=*\n");
    app::TTerminalLink link(&FDisplay);
    Connect(link);
    ASSERT_TRUE(link.IsDeviceOpen());
    static constexpr DWORD kTimeouts[] = {200, 300};
    for (const DWORD timeout : kTimeouts) {
        SCOPED_TRACE(timeout);
        link.SendDeviceCommand(app::kVersionCommand);
        app::TReplyBuffer<100> reply;
        DWORD count = 0;
        const std::size_t pollsBefore = FBench.Calls("FT_GetStatus").size();
        const DWORD start = Now();
        EXPECT_EQ(link.ReceiveReply(reply, count, timeout), 0u);
        const DWORD took = Now() - start;
        std::printf("time-out %lu ms: nothing after %lu ms\n", timeout, took);
        EXPECT_GE(took, timeout);
        EXPECT_LT(took, timeout + timeout / 10 + 150) << "about the time-out, not more";
        // A poll every tenth of the time-out, the last one at the time-out itself.
        EXPECT_EQ(took, timeout + timeout / 10);
        EXPECT_EQ(FBench.Calls("FT_GetStatus").size() - pollsBefore, 11u);
    }
    link.CloseDevice();
}

TEST_F(LinkTest, ALinkWaitsOnRealTimeUnlessTestsReplaceItsClock)
{
    // As in the program: the simulator and the link on real time.
    FClock.UseVirtualClock(FALSE);
    FBench.Use(DevicesScenario({"Zarvonix"}) + "[Faults]\nVersion.NoReply=1\n");
    app::TTerminalLink link(&FDisplay);
    ASSERT_TRUE(link.OpenDevice());
    link.SetConnected(true);
    ASSERT_TRUE(link.IsDeviceOpen());
    link.SendDeviceCommand(app::kVersionCommand);
    app::TReplyBuffer<100> reply;
    DWORD count = 0;
    const DWORD start = GetTickCount();
    EXPECT_EQ(link.ReceiveReply(reply, count, 200), 0u);
    const DWORD took = GetTickCount() - start;
    std::printf("time-out 200 ms on real time: nothing after %lu ms\n", took);
    RecordProperty("real_timeout_200_ms", static_cast<int>(took));
    EXPECT_GE(took, 200u);
    link.SendDeviceCommand(app::kVersionCommand);
    EXPECT_EQ(link.ReceiveReply(reply, count, 300), 16u) << "the reply comes on real time";
    link.CloseDevice();
}

TEST_F(LinkTest, ReplyIsReadATenthOfTheTimeOutAfterItsFirstByte)
{
    FBench.Use(DevicesScenario({"Zarvonix"}) + "[Link]\nReplyDelayMs=5\n");
    app::TTerminalLink link(&FDisplay);
    Connect(link);
    ASSERT_TRUE(link.IsDeviceOpen());
    link.SendDeviceCommand(app::kVersionCommand);
    app::TReplyBuffer<100> reply;
    DWORD count = 0;
    const DWORD start = Now();
    EXPECT_EQ(link.ReceiveReply(reply, count, 300), 16u);
    const DWORD took = Now() - start;
    std::printf("reply due after 5 ms, read after %lu ms\n", took);
    EXPECT_STREQ(reply.Text(), "QVMA-10.45 SIM\r\n");
    EXPECT_GE(took, 30u);
    EXPECT_LT(took, 150u);
    EXPECT_EQ(took, 60u) << "seen at the poll 30 ms in, read 30 ms later";
    const auto reads = FBench.Calls("FT_Read");
    ASSERT_EQ(reads.size(), 1u) << "one read, of what the second status reported";
    EXPECT_EQ(reads[0].Number("asked"), 16);
    link.CloseDevice();
}

TEST_F(LinkTest, ReplyLargerThanTheBufferStaysQueued)
{
    FBench.Use(DevicesScenario({"Zarvonix"}));
    app::TTerminalLink link(&FDisplay);
    Connect(link);
    ASSERT_TRUE(link.IsDeviceOpen());
    link.SendDeviceCommand(app::kVersionCommand);  // 16 bytes back
    struct {
        app::TReplyBuffer<15> small;
        char guard[8];
    } guarded;
    std::memset(guarded.guard, 'G', sizeof guarded.guard);
    DWORD count = 0;
    EXPECT_EQ(link.ReceiveReply(guarded.small, count, 300), 0u);
    EXPECT_TRUE(FBench.Calls("FT_Read").empty());
    EXPECT_EQ(std::string(guarded.guard, 8), "GGGGGGGG");

    app::TReplyBuffer<16> exact;  // a reply that fills the buffer still ends inside it
    EXPECT_EQ(link.ReceiveReply(exact, count, 300), 16u);
    EXPECT_STREQ(exact.Text(), "QVMA-10.45 SIM\r\n");
    link.CloseDevice();
}

TEST_F(LinkTest, AFailingStatusCallReadsAsNothingQueued)
{
    // The reply is there, but the driver fails every status call: the count
    // it writes anyway is no answer.
    FBench.Use(DevicesScenario({"Zarvonix"}) + "[Link]\nFailCalls=FT_GetStatus\n");
    app::TTerminalLink link(&FDisplay);
    Connect(link);
    ASSERT_TRUE(link.IsDeviceOpen());
    link.SendDeviceCommand(app::kVersionCommand);
    app::TReplyBuffer<100> reply;
    DWORD count = 99;
    const DWORD start = Now();
    EXPECT_EQ(link.ReceiveReply(reply, count, 300), 0u);
    EXPECT_EQ(count, 0u);
    EXPECT_STREQ(reply.Text(), "");
    EXPECT_EQ(Now() - start, 330u) << "the wait runs its full time, as for no reply at all";
    EXPECT_TRUE(FBench.Calls("FT_Read").empty()) << FBench.LogText();
    const auto polls = FBench.Calls("FT_GetStatus");
    ASSERT_EQ(polls.size(), 11u);
    EXPECT_EQ(polls.back().Status, FT_OTHER_ERROR);
    EXPECT_EQ(polls.back().Number("rx"), 16) << "the failed call did write a count";
    link.CloseDevice();
}

DWORD gTickOffset = 0;
decltype(&::SimTickCount) gSimTicks = nullptr;
DWORD WINAPI TicksNearTheWrap()
{
    return gSimTicks() + gTickOffset;
}

TEST_F(LinkTest, ReceiveReplyWaitsAcrossTheTickCounterWrap)
{
    FBench.Use(DevicesScenario({"Zarvonix"}) + "[Link]\nReplyDelayMs=60\n");
    app::TTerminalLink link(&FDisplay);
    Connect(link);
    ASSERT_TRUE(link.IsDeviceOpen());
    gSimTicks = FClock.TickCount;
    gTickOffset = 0xFFFFFFFFu - 100u - Now();  // wraps 100 ms into the wait
    link.SetTickSource(&TicksNearTheWrap);
    link.SendDeviceCommand(app::kVersionCommand);
    app::TReplyBuffer<100> reply;
    DWORD count = 0;
    EXPECT_EQ(link.ReceiveReply(reply, count, 300), 16u);

    link.SendDeviceCommand("NO SUCH COMMAND");
    gTickOffset = 0xFFFFFFFFu - 100u - Now();
    const DWORD start = Now();
    EXPECT_EQ(link.ReceiveReply(reply, count, 300), 0u);
    EXPECT_GE(Now() - start, 290u) << "the wait runs its full time";
    EXPECT_EQ(Now() - start, 330u) << "as long as a wait that does not wrap";
    link.CloseDevice();
}

TEST(TickDelta, CountsAcrossTheWrap)
{
    static constexpr struct {
        DWORD start, now, delta;
    } kCases[] = {
        {0xFFFFFFF0u, 0x00000010u, 0x1Fu},  // one short of the distance, as it always counted
        {100, 350, 250},
        {5, 5, 0},
        {0, 0xFFFFFFFFu, 0xFFFFFFFFu},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.start);
        EXPECT_EQ(app::TickDelta(c.start, c.now), c.delta);
    }
}

TEST_F(LinkTest, NothingPurgesTheDriverQueue)
{
    FBench.Use(DevicesScenario({"Zarvonix"}) + "[Faults]\nTare.Late=1\n");
    app::TTerminalLink link(&FDisplay);
    Connect(link);
    ASSERT_TRUE(link.ReadFirmwareVersion());
    ASSERT_TRUE(link.IsDeviceOpen());
    app::TDeviceCommands commands(link, &FHost);
    int counter = 0;
    commands.SendPeriodCount(34, 0);
    commands.SendInputFlags(3);
    commands.ExchangeTare(0, 0, 0, counter);
    commands.ExchangeTare(0, 0, 0, counter);
    link.CloseDevice();
    EXPECT_TRUE(FBench.Calls("FT_Purge").empty()) << FBench.LogText();
}

}  // namespace
