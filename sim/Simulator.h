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
    bool All = false;
    std::vector<std::pair<int, int>> Ranges;
    bool Hits(int n) const;
    bool Empty() const { return !All && Ranges.empty(); }
};
// "3", "2-5", "*", or a comma list of these; false on anything else.
bool ParseOccurrences(const std::string& text, Occurrences& out);

struct CommandFaults {
    Occurrences NoReply;   // the terminal stays silent
    Occurrences Late;      // the reply comes LateReplyMs after the command
    Occurrences Stray;     // one stray byte before the reply
    Occurrences Truncate;  // only the first TruncateBytes of the reply
};

struct DeviceConfig {
    std::string Description;  // 8-bit, as listed
    std::string Serial;
    bool Terminal = true;  // answers the terminal's commands
    bool OpenFails = false;
    double UnplugAfterMs = -1;     // after the first open; < 0: never
    int UnplugAfterCommands = -1;  // after this many commands; < 0: never
    ULONG Type = 0;
    DWORD Id = 0x5A510001;
};

struct SensorConfig {
    bool Present = false;
    std::vector<std::pair<double, double>> Table;  // litres -> ADC, ascending litres
    double Noise = 0;                              // ± ADC units, uniform
};

struct Scenario {
    std::wstring Source;  // the file it came from; empty: built-in defaults
    std::vector<DeviceConfig> Devices;

    double ReplyDelayMs = 5;
    double LateReplyMs = 400;
    unsigned char StrayByte = 0xFE;
    int TruncateBytes = 0;  // 0: half the reply
    bool AllowSecondOpen = false;
    std::set<std::string> FailCalls;
    std::wstring LogPath;

    std::string VersionReply = "QVMA-10.45 SIM\r\n";
    std::string ShortReply = "OK\r\n";

    double FlowLitresPerMinute = 20;
    double PulsesPerLitre = 100;
    std::int64_t CounterStart = 0;
    double TankLitres = 0;
    double TankCapacity = 500;
    double SettleMs = 2000;  // time constant of the level the sensors see
    std::uint32_t Seed = 1;

    std::array<SensorConfig, 8> Sensors;
    int MissingAdc = 0;

    std::array<CommandFaults, kCommandKinds> Faults;
    std::vector<std::string> Warnings;  // values that could not be read
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
    double ReadyMs;
    std::string Bytes;
};

struct DeviceState {
    double FirstOpenMs = -1;
    int Commands = 0;
    bool Gone = false;
    int OpenCount = 0;
};

struct OpenHandle {
    std::size_t Device = 0;
    DWORD ReadTimeoutMs = 0;  // 0: wait for nothing
    std::deque<Chunk> Queue;
};

// The whole simulated world, guarded by SimLock().
struct World {
    Scenario ActiveScenario;
    std::wstring LoadedPath;
    std::string LoadedContents;
    bool Loaded = false;
    std::vector<DeviceState> Devices;
    Terminal TheTerminal;
    std::vector<std::pair<std::uint32_t, OpenHandle>> Handles;
    std::uint32_t NextHandle = 0x1001;
    std::array<int, kCommandKinds> CommandCounts{};
};
World& TheWorld();

// Reloads the scenario when its file or the environment variable changed.
void RefreshScenario(World& world);
// Marks devices unplugged whose time or command count has run out.
void UpdatePlugs(World& world, double nowMs);
// The devices currently listed, by their list index.
std::vector<std::size_t> PresentDevices(const World& world);

}  // namespace sim
