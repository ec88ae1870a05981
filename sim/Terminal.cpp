// The simulated terminal: its commands, the pump and flow meter, the tank and
// the level sensors that follow it.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "rtl/TextScan.h"
#include "sim/Simulator.h"

namespace sim {

CommandKind ClassifyCommand(const std::string& command)
{
    if (command.rfind("QVTARE=", 0) == 0) return CommandKind::Tare;
    if (command.rfind("PERIODCOUNT", 0) == 0) return CommandKind::PeriodCount;
    if (command.rfind("INPFLAGS", 0) == 0) return CommandKind::InputFlags;
    if (command == "FL_READ_VERSION$") return CommandKind::Version;
    return CommandKind::Unknown;
}

const char* CommandKindName(CommandKind kind)
{
    switch (kind) {
    case CommandKind::Tare: return "Tare";
    case CommandKind::PeriodCount: return "PeriodCount";
    case CommandKind::InputFlags: return "InputFlags";
    case CommandKind::Version: return "Version";
    case CommandKind::Unknown: break;
    }
    return "Unknown";
}

void Terminal::Reset(const Scenario& scenario, double nowMs)
{
    FScenario = &scenario;
    FLastMs = nowMs;
    FPumpOn = false;
    FPumpedLitres = 0;
    FSensedLitres = scenario.TankLitres;
    FRandom = scenario.Seed ? scenario.Seed : 1;
    FReplies = 0;
}

void Terminal::Advance(double nowMs)
{
    const double dt = nowMs - FLastMs;
    if (dt <= 0 || !FScenario) return;
    FLastMs = nowMs;
    if (FPumpOn) FPumpedLitres += FScenario->FlowLitresPerMinute / 60000.0 * dt;
    const double level = Level();
    // The sensors see the surface, which needs time to come to rest: they
    // follow the true level with a first-order lag.
    if (FScenario->SettleMs <= 0)
        FSensedLitres = level;
    else
        FSensedLitres = level + (FSensedLitres - level) * std::exp(-dt / FScenario->SettleMs);
}

double Terminal::TankLitres(double nowMs)
{
    if (!FScenario) return 0;
    Advance(nowMs);
    return Level();
}

double Terminal::Level() const
{
    const double level = FScenario->TankLitres + FPumpedLitres;
    // What does not fit runs over; the counter still counts it.
    return FScenario->TankCapacity > 0 ? std::min(level, FScenario->TankCapacity) : level;
}

std::int32_t Terminal::Counter(double nowMs)
{
    if (!FScenario) return 0;
    Advance(nowMs);
    const auto pulses = FScenario->CounterStart +
                        static_cast<std::int64_t>(std::floor(FPumpedLitres * FScenario->PulsesPerLitre + 1e-9));
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(pulses));  // a 32-bit counter wraps
}

int Terminal::Adc(int sensor, double nowMs)
{
    if (!FScenario) return 0;
    Advance(nowMs);
    if (sensor < 0 || sensor >= static_cast<int>(FScenario->Sensors.size())) return FScenario->MissingAdc;
    const SensorConfig& config = FScenario->Sensors[static_cast<std::size_t>(sensor)];
    if (!config.Present || config.Table.empty()) return FScenario->MissingAdc;
    const auto& table = config.Table;
    double value;
    if (FSensedLitres <= table.front().first) {
        value = table.front().second;
    } else if (FSensedLitres >= table.back().first) {
        value = table.back().second;
    } else {
        const auto upper = std::upper_bound(table.begin(), table.end(), FSensedLitres,
                                            [](double litres, const auto& point) { return litres < point.first; });
        const auto lower = upper - 1;
        const double span = upper->first - lower->first;
        const double t = span > 0 ? (FSensedLitres - lower->first) / span : 0;
        value = lower->second + t * (upper->second - lower->second);
    }
    if (config.Noise > 0) {
        // xorshift32: the same seed gives the same noise on every run.
        FRandom ^= FRandom << 13;
        FRandom ^= FRandom >> 17;
        FRandom ^= FRandom << 5;
        const double unit = static_cast<double>(FRandom) / 4294967295.0;  // 0..1
        value += (unit * 2 - 1) * config.Noise;
    }
    return static_cast<int>(std::lround(value));
}

std::optional<std::string> Terminal::Handle(const std::string& command, double nowMs, CommandKind& kind)
{
    kind = ClassifyCommand(command);
    if (!FScenario) return std::nullopt;
    switch (kind) {
    case CommandKind::Tare: {
        int pump = 0, second = 0, sensor = 0;
        if (rtl::ScanFields(command, "QVTARE=%d,%d,%d", {pump, second, sensor}) != 3) return std::nullopt;
        // The flow up to now ran under the old switch state.
        Advance(nowMs);
        FPumpOn = pump != 0;
        const int flow = FPumpOn ? static_cast<int>(std::lround(FScenario->FlowLitresPerMinute * 1000)) : 0;
        const int decilitres = static_cast<int>(std::lround(TankLitres(nowMs) * 10));
        const std::int32_t counter = Counter(nowMs);
        const int adc = Adc(sensor, nowMs);
        char reply[160];
        std::snprintf(reply, sizeof reply, "QVTARE=%d,%d,%d,%d,%d,%d,%d,%d,%d,%d;", pump, second, sensor, flow,
                      decilitres, static_cast<int>(counter), 21, adc, 0, ++FReplies);
        return std::string(reply);
    }
    case CommandKind::PeriodCount:
    case CommandKind::InputFlags: return FScenario->ShortReply;
    case CommandKind::Version: return FScenario->VersionReply;
    case CommandKind::Unknown: break;
    }
    return std::nullopt;
}

}  // namespace sim
