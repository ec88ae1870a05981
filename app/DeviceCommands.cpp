// Terminal commands, reply scanning and the firmware check.
#include "app/DeviceCommands.h"

#include <climits>
#include <cstdio>

#include "rtl/TextScan.h"

namespace app {

std::string TareCommand(int pump, int second, int sensor)
{
    char text[64];
    std::snprintf(text, sizeof text, "QVTARE=%d,%d,%d", pump, second, sensor);
    return text;
}

std::string PeriodCountCommand(int parameter, int value)
{
    char text[64];
    std::snprintf(text, sizeof text, "PERIODCOUNT%d=%d;", parameter, value);
    return text;
}

std::string InputFlagsCommand(int input)
{
    char text[64];
    std::snprintf(text, sizeof text, "INPFLAGS%d=1,0,0,0,B,0,0,0,0;", input);
    return text;
}

std::optional<TTareReply> ScanTareReply(std::string_view reply)
{
    TTareReply r;
    auto& f = r.FFields;
    const int converted = rtl::ScanFields(reply, "QVTARE=%d,%d,%d,%d,%d,%d,%d,%d,%d,%d;",
                                          {f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9]});
    if (converted != static_cast<int>(f.size())) return std::nullopt;
    return r;
}

int TFirmwareVersion::Number() const noexcept
{
    // The numbers come from the terminal: keep the product inside int.
    const long long number = static_cast<long long>(FMajor) * 100 + FMinor;
    if (number > INT_MAX) return INT_MAX;
    if (number < INT_MIN) return INT_MIN;
    return static_cast<int>(number);
}

std::string TFirmwareVersion::DisplayText() const
{
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d", FMajor, FMinor);
    return text;
}

std::optional<TFirmwareVersion> ScanVersionReply(std::string_view reply)
{
    if (reply.size() < kVersionReplyMinBytes) return std::nullopt;
    TFirmwareVersion v;
    if (rtl::ScanFields(reply, "QVMA-%d.%d", {v.FMajor, v.FMinor}) == 2) return v;
    v = {};
    if (rtl::ScanFields(reply, "QVMB-%d.%d", {v.FMajor, v.FMinor}) == 2) return v;
    return std::nullopt;
}

TFirmwareCheck CheckFirmware(bool versionRead, int firmwareNumber)
{
    if (!versionRead) return {L"Ошибка чтения версии прошивки", true, false};
    if (firmwareNumber < kMinimumFirmware) return {L"Обновите прошивку до 10.45", true, false};
    return {L"Устройство подключено", false, true};
}

bool TDeviceCommands::SendAndReceive(const std::string& command)
{
    FLink.SendDeviceCommand(command);
    DWORD count = 0;
    FLink.ReceiveReply(FReply, count, kCommandReplyTimeoutMs);
    return count > 0;
}

bool TDeviceCommands::ExchangeTare(int pump, int second, int sensor, int& counter)
{
    bool accepted = false;
    if (SendAndReceive(TareCommand(pump, second, sensor))) {
        // Only a whole reply counts: the fields of a cut-off reply may
        // themselves be cut off (a counter of 12 for 1234).
        if (const std::optional<TTareReply> reply = ScanTareReply(FReply.Text())) {
            counter = reply->PulseCounter();
            FLastAdcValue = reply->AdcValue();
            accepted = true;
        }
    } else if (FHost) {
        FHost->RequestStop();
    }
    if (FHost) FHost->ShowPumpState(pump == 1);
    return accepted;
}

bool TDeviceCommands::SendPeriodCount(int parameter, int value)
{
    return SendAndReceive(PeriodCountCommand(parameter, value));
}

bool TDeviceCommands::SendInputFlags(int input)
{
    return SendAndReceive(InputFlagsCommand(input));
}

}  // namespace app
