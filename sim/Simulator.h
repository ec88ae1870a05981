// Terminal simulator internals: scenario, simulated terminal, device list and
// call log, shared by the files of this folder only.
//
// Thread: the exported entry points may be called from any thread; they take
// the one simulator lock (SimLock) around every access to the state here, and
// never sleep while holding it.
#pragma once
#include <windows.h>

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "rtl/SyncObjs.h"

namespace sim {

// --- Locking and time -------------------------------------------------------

// The runtime's critical section and its guard, under the names this folder uses.
using CriticalSection = rtl::TCriticalSection;
using Lock = rtl::TCriticalSectionLock;

CriticalSection& SimLock();

// The simulator's clock, in milliseconds: since the simulator was loaded on
// real time (the performance counter); on the virtual clock of a test, where
// the test and the waiting reads have moved it (Clock.cpp).
double NowMs();
bool ClockIsVirtual();
// Moves the virtual clock on to ms; nothing on real time or for a time past.
void AdvanceClockTo(double ms);

// --- Scenario ---------------------------------------------------------------

enum class CommandKind { Tare, PeriodCount, InputFlags, Version, Unknown };
inline constexpr int kCommandKinds = 4;  // those that can carry faults

// Which occurrences (1-based, counted per command kind) a fault hits.
struct Occurrences {
    bool FAll = false;
    std::vector<std::pair<int, int>> FRanges;
    bool Hits(int n) const;
    bool Empty() const { return !FAll && FRanges.empty(); }
};
// "3", "2-5", "*", or a comma list of these; false on anything else.
bool ParseOccurrences(const std::string& text, Occurrences& out);

struct CommandFaults {
    Occurrences FNoReply;   // the terminal stays silent
    Occurrences FLate;      // the reply comes LateReplyMs after the command
    Occurrences FStray;     // one stray byte before the reply
    Occurrences FTruncate;  // only the first TruncateBytes of the reply
};

struct DeviceConfig {
    std::string FDescription;  // 8-bit, as listed
    std::string FSerial;
    bool FTerminal = true;  // answers the terminal's commands
    bool FOpenFails = false;
    double FUnplugAfterMs = -1;     // after the first open; < 0: never
    int FUnplugAfterCommands = -1;  // after this many commands; < 0: never
    ULONG FType = 0;
    DWORD FId = 0x5A510001;
};

struct SensorConfig {
    bool FPresent = false;
    std::vector<std::pair<double, double>> FTable;  // litres -> ADC, ascending litres
    double FNoise = 0;                              // ± ADC units, uniform
};

struct Scenario {
    std::wstring FSource;  // the file it came from; empty: built-in defaults
    std::vector<DeviceConfig> FDevices;

    double FReplyDelayMs = 5;
    double FLateReplyMs = 400;
    unsigned char FStrayByte = 0xFE;
    int FTruncateBytes = 0;  // 0: half the reply
    bool FAllowSecondOpen = false;
    std::set<std::string> FFailCalls;
    std::wstring FLogPath;

    std::string FVersionReply = "QVMA-10.45 SIM\r\n";
    std::string FShortReply = "OK\r\n";

    double FFlowLitresPerMinute = 20;
    double FPulsesPerLitre = 100;
    std::int64_t FCounterStart = 0;
    double FTankLitres = 0;
    double FTankCapacity = 500;
    double FSettleMs = 2000;  // time constant of the level the sensors see
    std::uint32_t FSeed = 1;

    std::array<SensorConfig, 8> FSensors;
    int FMissingAdc = 0;

    std::array<CommandFaults, kCommandKinds> FFaults;
    std::vector<std::string> FWarnings;  // values that could not be read
};

Scenario DefaultScenario();
// Reads an INI scenario over the defaults; keys it does not name keep them.
Scenario LoadScenario(const std::wstring& path);
// \r, \n, \t, \\ and \xHH in a value.
std::string Unescape(const std::string& text);

// --- Call log ---------------------------------------------------------------

// Appends one line per call to the log file (VOLUMETRA_SIM_LOG, else the
// scenario's Log key); nothing when neither names a file.
void LogLine(const std::string& line);
void SetScenarioLogPath(const std::wstring& path);
std::string Quoted(const char* bytes, std::size_t count);  // "..." with \xHH for the rest

// --- The terminal -----------------------------------------------------------

// The pump, flow meter, tank and level sensors behind every terminal device.
class Terminal {
public:
    void Reset(const Scenario& scenario, double nowMs);
    // The command as written; the reply the terminal sends, if any.
    std::optional<std::string> Handle(const std::string& command, double nowMs, CommandKind& kind);

    bool PumpOn() const { return FPumpOn; }
    std::int32_t Counter(double nowMs);
    int Adc(int sensor, double nowMs);
    double TankLitres(double nowMs);

private:
    void Advance(double nowMs);
    double Level() const;  // the true level, without advancing the time

    const Scenario* FScenario = nullptr;  // weak
    double FLastMs = 0;
    bool FPumpOn = false;
    double FPumpedLitres = 0;
    double FSensedLitres = 0;
    std::uint32_t FRandom = 1;
    int FReplies = 0;
};

CommandKind ClassifyCommand(const std::string& command);
const char* CommandKindName(CommandKind kind);

// --- Devices and handles ----------------------------------------------------

struct Chunk {
    double FReadyMs;
    std::string FBytes;
};

struct DeviceState {
    double FFirstOpenMs = -1;
    int FCommands = 0;
    bool FGone = false;
    int FOpenCount = 0;
};

struct OpenHandle {
    std::size_t FDevice = 0;
    DWORD FReadTimeoutMs = 0;  // 0: wait for nothing
    std::deque<Chunk> FQueue;
};

// The whole simulated world, guarded by SimLock().
struct World {
    Scenario FScenario;
    std::wstring FLoadedPath;
    std::string FLoadedContents;
    bool FLoaded = false;
    std::vector<DeviceState> FDevices;
    Terminal FTerminal;
    std::vector<std::pair<std::uint32_t, OpenHandle>> FHandles;
    std::uint32_t FNextHandle = 0x1001;
    std::array<int, kCommandKinds> FCommandCounts{};
};
World& TheWorld();

// Reloads the scenario when its file or the environment variable changed.
void RefreshScenario(World& world);
// Marks devices unplugged whose time or command count has run out.
void UpdatePlugs(World& world, double nowMs);
// The devices currently listed, by their list index.
std::vector<std::size_t> PresentDevices(const World& world);

}  // namespace sim
