// The terminal's commands and replies, the firmware check, and the link
// driving the simulated pump, flow meter and level sensor.
#include "tests/app/link/LinkTestSupport.h"

namespace {

using linktest::LinkTest;

TEST(ReplyScan, TareReplyNeedsAllTenFieldsFromTheFirstByte)
{
    static constexpr struct {
        const char* reply;
        bool good;
        int counter, adc;
    } kCases[] = {
        {"QVTARE=0,0,0,0,0,1234,0,567,0,0;", true, 1234, 567},
        {"QVTARE=0,0,0,0,0,1234,0,567,0,0", true, 1234, 567},  // the final ";" is not compared
        {"QVTARE=1,1,3,0,0, -42,0,+99,0,0;trailing", true, -42, 99},
        {"QVTARE=1,2,3;", false, 0, 0},
        {"\xFEQVTARE=0,0,0,0,0,1234,0,567,0,0;", false, 0, 0},  // a stray byte in front
        {"QVTARE=0,0,0,0,0,12", false, 0, 0},                   // cut off
        {"QVTARE=0,0,0,0,0,1234,0,567,0,0;QVTARE=0,0,0,0,0,1300,0,570,0,0;", true, 1234, 567},
        {"", false, 0, 0},
        {"QVTARE=0,0,0,0,0,99999999999,0,-99999999999,0,0;", true, 2147483647, -2147483647 - 1},  // held inside int
        {"QVTARE=0,0,0,0,0,1234,0,567,0,x;", false, 0, 0},  // the last field does not convert
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.reply);
        const auto reply = app::ScanTareReply(c.reply);
        ASSERT_EQ(reply.has_value(), c.good);
        if (reply) {
            EXPECT_EQ(reply->PulseCounter(), c.counter);
            EXPECT_EQ(reply->AdcValue(), c.adc);
        }
    }
}

TEST(ReplyScan, VersionReplyAndItsNumberAndText)
{
    static constexpr struct {
        const char* reply;
        bool read;
        int number;
        const char* text;
    } kCases[] = {
        {"QVMB-10.45", true, 1045, "10.45"},  // exactly 10 bytes
        {"QVMA-10.45 build 7\r\n", true, 1045, "10.45"},
        {"QVMA-9.99 old", true, 999, "9.99"},
        {"QVMA-10.5 rev", true, 1005, "10.05"},
        {"QVMA-9.7 xxxx", true, 907, "9.07"},
        {"QVMA-1.5", false, 0, ""},       // 8 bytes: too short
        {"QVMC-10.45 xx", false, 0, ""},  // another prefix
        {"QVMA-10 only", false, 0, ""},   // one number
        {"~QVMA-10.45 SIM", false, 0, ""},
        {"QVMA-99999999999.99", true, 2147483647, "2147483647.99"},  // held inside int
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.reply);
        const auto version = app::ScanVersionReply(c.reply);
        ASSERT_EQ(version.has_value(), c.read);
        if (version) {
            EXPECT_EQ(version->Number(), c.number);
            EXPECT_EQ(version->DisplayText(), c.text);
        }
    }
}

TEST(FirmwareCheck, RefusesUnreadAndOldFirmware)
{
    static constexpr struct {
        bool read;
        int number;
        const wchar_t* status;
        bool error, usable;
    } kCases[] = {
        {false, 1045, L"Ошибка чтения версии прошивки", true, false},
        {true, 999, L"Обновите прошивку до 10.45", true, false},
        {true, 1044, L"Обновите прошивку до 10.45", true, false},
        {true, 1, L"Обновите прошивку до 10.45", true, false},
        {true, 1045, L"Устройство подключено", false, true},
        {true, 1100, L"Устройство подключено", false, true},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.number);
        const app::TFirmwareCheck check = app::CheckFirmware(c.read, c.number);
        EXPECT_STREQ(check.FStatusText, c.status);
        EXPECT_EQ(check.FError, c.error);
        EXPECT_EQ(check.FUsable, c.usable);
    }
}

TEST(Commands, TextsAreSentWithoutTerminator)
{
    EXPECT_EQ(app::TareCommand(1, 1, 7), "QVTARE=1,1,7");
    EXPECT_EQ(app::PeriodCountCommand(34, 0), "PERIODCOUNT34=0;");
    EXPECT_EQ(app::InputFlagsCommand(3), "INPFLAGS3=1,0,0,0,B,0,0,0,0;");
}

TEST_F(LinkTest, ReadFirmwareVersionRepeatsUpToNineteenTimes)
{
    static constexpr struct {
        const char* scenario;
        bool read;
        int number;
        const char* shown;
        std::size_t requests;
    } kCases[] = {
        {"[Terminal]\nVersion=QVMB-10.45\n", true, 1045, "10.45", 1},
        {"[Terminal]\nVersion=QVMA-9.99 old\\r\\n\n", true, 999, "9.99", 1},
        {"[Terminal]\nVersion=QVMA-1.5\n", false, 1, "", 19},
        {"[Terminal]\nVersion=QVMX-10.45 SIM\n", false, 1, "", 19},
        {"[Faults]\nVersion.Stray=*\n", false, 1, "", 19},
        {"[Faults]\nVersion.NoReply=*\n", false, 1, "", 19},
        {"[Faults]\nVersion.Stray=1-3\n", true, 1045, "10.45", 4},
        {"[Faults]\nVersion.Truncate=1-18\n", true, 1045, "10.45", 19},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.scenario);
        FBench.Use(std::string("[Device0]\nDescription=Zarvonix\n") + c.scenario);
        FDisplay.FVersions.clear();
        app::TTerminalLink link(&FDisplay);
        Connect(link);
        const DWORD start = Now();
        EXPECT_EQ(link.ReadFirmwareVersion(), c.read);
        std::printf("%zu version request(s), %s after %lu ms\n", c.requests, c.read ? "read" : "refused",
                    Now() - start);
        EXPECT_EQ(link.FirmwareNumber(), c.number);
        const std::vector<std::string> shown = c.read ? std::vector<std::string>{c.shown} : std::vector<std::string>{};
        EXPECT_EQ(FDisplay.FVersions, shown);
        std::size_t requests = 0;
        for (const auto& write : FBench.Calls("FT_Write")) requests += write.Arg("data") == "FL_READ_VERSION$";
        EXPECT_EQ(requests, c.requests);
        EXPECT_EQ(link.DeviceHandle(), 0u) << "closed whatever the outcome";
        EXPECT_EQ(FBench.Calls("FT_Close").back().Number("open"), 0);
    }
}

TEST_F(LinkTest, ReadFirmwareVersionNeedsAConnectedTerminal)
{
    FBench.Use("[Device0]\nDescription=Zarvonix\n");
    app::TTerminalLink link(&FDisplay);
    ASSERT_TRUE(link.OpenDevice());
    EXPECT_FALSE(link.ReadFirmwareVersion()) << "not connected yet";
    EXPECT_TRUE(FBench.Calls("FT_Write").empty());
}

TEST_F(LinkTest, TareExchangeJudgesItsReply)
{
    static constexpr struct {
        const char* fault;
        bool accepted;
        int stops;
    } kCases[] = {
        {"", true, 0},
        {"Tare.Stray=2", false, 0},
        {"Tare.Truncate=2", false, 0},
        {"Tare.NoReply=2", false, 1},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.fault);
        FBench.Use(std::string("[Device0]\nDescription=Zarvonix\n[Pump]\nCounterStart=1234\n"
                               "[Sensors]\nTable=0:567,100:567\nNoise=0\n[Link]\nTruncateBytes=23\n[Faults]\n") +
                   c.fault + "\n");
        app::TTerminalLink link(&FDisplay);
        Connect(link);
        ASSERT_TRUE(link.IsDeviceOpen());
        linktest::FakeHost worker;
        app::TDeviceCommands commands(link, &worker);
        int counter = -1;
        ASSERT_TRUE(commands.ExchangeTare(0, 0, 0, counter));
        EXPECT_EQ(counter, 1234);
        EXPECT_EQ(commands.LastAdcValue(), 567);

        counter = -1;
        EXPECT_EQ(commands.ExchangeTare(1, 1, 0, counter), c.accepted) << commands.ReplyText();
        // A reply that is not good leaves the last values alone: the cut-off
        // "QVTARE=1,1,0,20000,0,12" must not give a counter of 12.
        EXPECT_EQ(counter, c.accepted ? 1234 : -1);
        EXPECT_EQ(commands.LastAdcValue(), 567);
        EXPECT_EQ(worker.FStops, c.stops);
        EXPECT_EQ(worker.FPumpStates, (std::vector<bool>{false, true})) << "the display follows the command";
        commands.ExchangeTare(0, 0, 0, counter);
        link.CloseDevice();
    }
}

TEST_F(LinkTest, ShortCommandsCountAnyReply)
{
    static constexpr struct {
        const char* scenario;
        bool answered;
    } kCases[] = {
        {"[Terminal]\nShortReply=K\n", true},  // a single byte is enough
        {"[Terminal]\nShortReply=garbage of any kind\n", true},
        {"[Faults]\nPeriodCount.NoReply=*\nInputFlags.NoReply=*\n", false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.scenario);
        FBench.Use(std::string("[Device0]\nDescription=Zarvonix\n") + c.scenario);
        app::TTerminalLink link(&FDisplay);
        Connect(link);
        ASSERT_TRUE(link.IsDeviceOpen());
        linktest::FakeHost worker;
        app::TDeviceCommands commands(link, &worker);
        EXPECT_EQ(commands.SendPeriodCount(34, 0), c.answered);
        EXPECT_EQ(commands.SendInputFlags(3), c.answered);
        EXPECT_EQ(worker.FStops, 0) << "only the tare exchange asks the worker to stop";
        const auto writes = FBench.Calls("FT_Write");
        ASSERT_EQ(writes.size(), 2u);
        EXPECT_EQ(writes[0].Arg("data"), "PERIODCOUNT34=0;");
        EXPECT_EQ(writes[1].Arg("data"), "INPFLAGS3=1,0,0,0,B,0,0,0,0;");
        link.CloseDevice();
    }
}

TEST_F(LinkTest, LateReplyIsReadAtTheFrontOfTheNextOne)
{
    FBench.Use("[Device0]\nDescription=Zarvonix\n[Link]\nLateReplyMs=400\n[Faults]\nTare.Late=1\n");
    app::TTerminalLink link(&FDisplay);
    Connect(link);
    ASSERT_TRUE(link.IsDeviceOpen());
    app::TDeviceCommands commands(link, &FHost);
    int counter = -1;
    const DWORD start = Now();
    EXPECT_FALSE(commands.ExchangeTare(0, 0, 3, counter)) << "nothing within 300 ms";
    EXPECT_EQ(Now() - start, 330u) << "the time-out and one poll past it";
    EXPECT_EQ(FHost.FStops, 1);
    commands.ExchangeTare(0, 0, 4, counter);
    const auto writes = FBench.Calls("FT_Write");
    ASSERT_EQ(writes.size(), 2u);
    const std::string late = writes[0].Arg("reply");
    const std::string next = writes[1].Arg("reply");
    EXPECT_EQ(std::string(commands.ReplyText()), late + next) << "the late bytes come first";
    link.CloseDevice();
}

TEST_F(LinkTest, DrivesTheSimulatedPumpAndReadsCounterAndLevel)
{
    // 30 l/min, 200 pulses per litre; sensor 3 reads 1000 + 50 per litre.
    FBench.Use("[Device0]\nDescription=Zarvonix QVM-A SIM\nSerial=SIM00042\n[Terminal]\nVersion=QVMA-10.47 SIM\n"
               "[Pump]\nFlowLitresPerMinute=30\nPulsesPerLitre=200\nCounterStart=100\n"
               "[Tank]\nLitres=10\nCapacity=200\nSettleMs=200\n"
               "[Sensors]\nCount=8\nTable=0:0,200:1000\nNoise=0\n[Sensor3]\nTable=0:1000,200:11000\n");
    app::TTerminalLink link(&FDisplay);
    OnSimulatorClock(link);
    ASSERT_TRUE(link.OpenDevice());
    link.SetConnected(true);
    ASSERT_TRUE(link.ReadFirmwareVersion());
    EXPECT_EQ(FDisplay.FSerials, std::vector<std::string>{"SIM00042"});
    EXPECT_EQ(FDisplay.FVersions, std::vector<std::string>{"10.47"});
    EXPECT_TRUE(app::CheckFirmware(true, link.FirmwareNumber()).FUsable);

    ASSERT_TRUE(link.IsDeviceOpen());
    app::TDeviceCommands commands(link, &FHost);
    EXPECT_TRUE(commands.SendPeriodCount(34, 0));
    EXPECT_TRUE(commands.SendInputFlags(3));
    int start = 0;
    ASSERT_TRUE(commands.ExchangeTare(0, 0, 3, start));
    EXPECT_EQ(start, 100);
    EXPECT_EQ(commands.LastAdcValue(), 1500);  // 10 litres

    int counter = 0;
    ASSERT_TRUE(commands.ExchangeTare(1, 1, 3, counter));
    Wait(1000);
    ASSERT_TRUE(commands.ExchangeTare(0, 0, 3, counter));
    const double litres = (counter - start) / 200.0;
    std::printf("pump on for about 1 s: %d pulses, %.3f l\n", counter - start, litres);
    EXPECT_NEAR(litres, 0.5, 0.1);  // 30 l/min
    // The reply of the pump-on is read 60 ms after its command: two polls
    // of a tenth of the 300 ms time-out.
    EXPECT_EQ(counter - start, 106) << "1060 ms at 30 l/min and 200 pulses a litre";
    Wait(1500);
    int settled = 0;
    ASSERT_TRUE(commands.ExchangeTare(0, 0, 3, settled));
    EXPECT_EQ(settled, counter) << "the pump is off";
    EXPECT_NEAR(commands.LastAdcValue(), 1000 + 50 * (10 + litres), 1);
    EXPECT_EQ(FHost.FPumpStates, (std::vector<bool>{false, true, false, false}));
    link.CloseDevice();
}

TEST_F(LinkTest, UnpluggedTerminalEndsTheExchangesAndTheConnection)
{
    FBench.Use("[Device0]\nDescription=Zarvonix\nUnplugAfterMs=600\n");
    app::TTerminalLink link(&FDisplay);
    Connect(link);
    ASSERT_TRUE(link.IsDeviceOpen());
    app::TDeviceCommands commands(link, &FHost);
    int counter = 0;
    EXPECT_TRUE(commands.ExchangeTare(0, 0, 0, counter));
    Wait(700);
    EXPECT_FALSE(commands.ExchangeTare(0, 0, 0, counter));
    EXPECT_EQ(FHost.FStops, 1);
    EXPECT_FALSE(link.IsDeviceOpen());
    EXPECT_EQ(link.DeviceHandle(), 0u);
    EXPECT_FALSE(link.OpenDevice());
    EXPECT_EQ(link.DeviceIndex(), -1);
}

}  // namespace
