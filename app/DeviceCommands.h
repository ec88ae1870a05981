// The terminal's command protocol: the texts sent, how replies are judged,
// the calibration worker's exchanges and the firmware check.
//
// Replies are 8-bit text scanned from their first byte with scanf's rules
// (rtl::ScanFields, where a number beyond the range of int is held at its
// end): a reply is good only when every field of its pattern converts;
// characters after the last field are not compared. Nothing here raises.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/TerminalLink.h"

namespace app {

inline constexpr DWORD kCommandReplySize = 2000;  // every exchange but the version request
inline constexpr DWORD kCommandReplyTimeoutMs = 300;
inline constexpr DWORD kVersionReplySize = 100;
inline constexpr DWORD kVersionReplyTimeoutMs = 200;
inline constexpr int kVersionAttempts = 19;
inline constexpr DWORD kVersionReplyMinBytes = 9;
inline constexpr int kMinimumFirmware = 1045;

inline constexpr char kVersionCommand[] = "FL_READ_VERSION$";

// "QVTARE=%d,%d,%d": pump switch, second switch, sensor index (no end character).
std::string TareCommand(int pump, int second, int sensor);
// "PERIODCOUNT%d=%d;"
std::string PeriodCountCommand(int parameter, int value);
// "INPFLAGS%d=1,0,0,0,B,0,0,0,0;"
std::string InputFlagsCommand(int input);

// The ten fields of a good tare reply, 1-based as the terminal counts them.
struct TTareReply {
    std::array<int, 10> FFields{};
    int PulseCounter() const noexcept { return FFields[5]; }  // field 6
    int AdcValue() const noexcept { return FFields[7]; }      // field 8
};

// A reply of "QVTARE=%d,%d,%d,%d,%d,%d,%d,%d,%d,%d;" with all ten fields, or
// nothing. The text ends at its first zero byte.
std::optional<TTareReply> ScanTareReply(std::string_view reply);

struct TFirmwareVersion {
    int FMajor = 0;
    int FMinor = 0;
    // major × 100 + minor, held within the range of int.
    int Number() const noexcept;
    // "%d.%02d": 10.45 as "10.45", 10.5 as "10.05".
    std::string DisplayText() const;
};

// A version reply: at least 9 bytes, then "QVMA-%d.%d" or "QVMB-%d.%d" with
// both numbers; anything else is nothing.
std::optional<TFirmwareVersion> ScanVersionReply(std::string_view reply);

// The firmware check of the device check.
struct TFirmwareCheck {
    const wchar_t* FStatusText;
    bool FError;   // shown in red
    bool FUsable;  // the terminal may be used
};
TFirmwareCheck CheckFirmware(bool versionRead, int firmwareNumber);

// What the worker's exchanges need of the worker around them. Both are
// called on the thread that exchanges (the worker's).
class ICommandHost {
public:
    virtual ~ICommandHost() = default;
    // The worker's stop request: a tare exchange got no reply at all.
    virtual void RequestStop() = 0;
    // Pump on or off as the command just sent asked; the worker hands it to
    // the main thread and waits until the display shows it.
    virtual void ShowPumpState(bool on) = 0;
};

// The calibration worker's exchanges over the main window's link, with the
// worker's own reply buffer. Thread: the worker's (or the main thread while
// the worker holds); never two callers at once.
class TDeviceCommands {
public:
    // link and host must outlive this object; host may be null.
    TDeviceCommands(TTerminalLink& link, ICommandHost* host) : FLink(link), FHost(host) {}

    // Sends the tare command and reads its reply. True when all ten fields
    // converted: then counter := field 6 and LastAdcValue() := field 8. A reply
    // that is not good changes neither. No reply at all also requests the
    // worker's stop. The pump display follows pump in every case.
    bool ExchangeTare(int pump, int second, int sensor, int& counter);
    // True when any reply arrived; its content is not examined.
    bool SendPeriodCount(int parameter, int value);
    bool SendInputFlags(int input);

    int LastAdcValue() const noexcept { return FLastAdcValue; }
    // The text of the last reply received (empty when none arrived).
    const char* ReplyText() const noexcept { return FReply.Text(); }

private:
    bool SendAndReceive(const std::string& command);

    TTerminalLink& FLink;
    ICommandHost* FHost;  // weak
    int FLastAdcValue = 0;
    TReplyBuffer<kCommandReplySize> FReply;
};

}  // namespace app
