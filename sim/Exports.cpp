// The seventeen driver entry points of the simulator, its device list and the
// byte queues of the open handles. (The clock's exports are in Clock.cpp.)
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "d2xx/D2xx.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"
#include "sim/Simulator.h"

namespace sim {

namespace {

CriticalSection gLock;
World gWorld;

std::wstring EnvironmentValue(const wchar_t* name)
{
    wchar_t buffer[MAX_PATH * 2];
    const DWORD length = GetEnvironmentVariableW(name, buffer, MAX_PATH * 2);
    return length > 0 && length < MAX_PATH * 2 ? std::wstring(buffer, length) : std::wstring();
}

// "ftd2xx.ini" beside this library.
std::wstring ScenarioBesideLibrary()
{
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&ScenarioBesideLibrary), &self))
        return {};
    std::wstring file = rtl::ModuleFileName(self);
    if (file.empty()) return {};
    file.resize(file.find_last_of(L"\\/") + 1);
    return file + L"ftd2xx.ini";
}

// The scenario file's bytes; false when it cannot be read. A change is told by
// the bytes, not the write time: a copy keeps its source's time, so a bench
// copied over another one of the same second would otherwise go unnoticed.
bool FileContents(const std::wstring& path, std::string& contents)
{
    contents.clear();
    if (path.empty()) return false;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[4096];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr) != FALSE) && read > 0)
        contents.append(buffer, read);
    CloseHandle(file);
    return ok;
}

std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
std::string Format(const char* format, ...)
{
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return buffer;
}

OpenHandle* FindHandle(World& world, FT_HANDLE handle)
{
    for (auto& [value, open] : world.Handles)
        if (value == handle) return &open;
    return nullptr;
}

DWORD ReadyBytes(const OpenHandle& open, double nowMs)
{
    DWORD ready = 0;
    for (const Chunk& chunk : open.Queue) {
        if (chunk.ReadyMs > nowMs) break;  // bytes arrive in the order they were sent
        ready += static_cast<DWORD>(chunk.Bytes.size());
    }
    return ready;
}

// The first moment after now that can end a read's wait: the next bytes due,
// the device's unplug, or the read's deadline.
double NextWaitEnd(const World& world, const OpenHandle& open, double now, double deadline)
{
    double end = deadline;
    for (const Chunk& chunk : open.Queue) {
        if (chunk.ReadyMs > now) {
            end = std::min(end, chunk.ReadyMs);
            break;
        }
    }
    const DeviceState& state = world.Devices[open.Device];
    const DeviceConfig& config = world.ActiveScenario.Devices[open.Device];
    if (config.UnplugAfterMs >= 0 && state.FirstOpenMs >= 0) {
        const double unplug = state.FirstOpenMs + config.UnplugAfterMs;
        if (unplug > now) end = std::min(end, unplug);
    }
    return end;
}

bool Failing(const World& world, const char* name)
{
    return world.ActiveScenario.FailCalls.count(name) != 0;
}

// Looks the handle up and answers the status of a call on it: the scenario's
// failure for this entry point, a bad handle, or an unplugged device.
FT_STATUS CheckHandle(World& world, const char* name, FT_HANDLE handle, OpenHandle*& open)
{
    UpdatePlugs(world, NowMs());
    open = FindHandle(world, handle);
    if (!open) return FT_INVALID_HANDLE;
    if (world.Devices[open->Device].Gone) return FT_IO_ERROR;
    if (Failing(world, name)) return FT_OTHER_ERROR;
    return FT_OK;
}

template <typename Body>
FT_STATUS Guarded(const char* name, Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        // Nothing may unwind into the caller's frames.
        try {
            Lock lock(gLock);
            LogLine(std::string(name) + " -> exception");
        } catch (...) {}
        return FT_OTHER_ERROR;
    }
}

// The same call with one handle argument and nothing else to do.
template <typename Effect>
FT_STATUS SimpleCall(const char* name, FT_HANDLE handle, const std::string& arguments, Effect&& effect)
{
    return Guarded(name, [&] {
        Lock lock(gLock);
        OpenHandle* open = nullptr;
        const FT_STATUS status = CheckHandle(gWorld, name, handle, open);
        if (status == FT_OK) effect(*open);
        LogLine(Format("%s handle=0x%X%s%s -> %u", name, static_cast<unsigned>(handle), arguments.empty() ? "" : " ",
                       arguments.c_str(), static_cast<unsigned>(status)));
        return status;
    });
}

void CopyText(char* buffer, std::size_t size, const std::string& text)
{
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace

CriticalSection& SimLock()
{
    return gLock;
}

World& TheWorld()
{
    return gWorld;
}

void RefreshScenario(World& world)
{
    std::wstring path = EnvironmentValue(L"VOLUMETRA_SIM_SCENARIO");
    std::string contents;
    bool exists = FileContents(path, contents);
    if (path.empty()) {
        path = ScenarioBesideLibrary();
        exists = FileContents(path, contents);
        if (!exists) path.clear();
    }
    if (world.Loaded && path == world.LoadedPath && contents == world.LoadedContents) return;

    // A new scenario is a new bench: every handle of the old one is gone.
    world.Loaded = true;
    world.LoadedPath = path;
    world.LoadedContents = contents;
    world.ActiveScenario = exists ? LoadScenario(path) : DefaultScenario();
    world.Devices.assign(world.ActiveScenario.Devices.size(), DeviceState{});
    world.Handles.clear();
    world.CommandCounts.fill(0);
    world.TheTerminal.Reset(world.ActiveScenario, NowMs());
    SetScenarioLogPath(world.ActiveScenario.LogPath);
    if (path.empty())
        LogLine("# scenario built-in");
    else if (!exists)
        LogLine("# scenario missing, built-in used: " + rtl::WideToAnsi(path));
    else
        LogLine("# scenario " + rtl::WideToAnsi(path));
    for (const std::string& warning : world.ActiveScenario.Warnings) LogLine("# scenario warning: " + warning);
}

void UpdatePlugs(World& world, double nowMs)
{
    for (std::size_t i = 0; i < world.Devices.size(); ++i) {
        DeviceState& state = world.Devices[i];
        const DeviceConfig& config = world.ActiveScenario.Devices[i];
        if (state.Gone) continue;
        const bool timeUp =
            config.UnplugAfterMs >= 0 && state.FirstOpenMs >= 0 && nowMs - state.FirstOpenMs >= config.UnplugAfterMs;
        const bool commandsUp = config.UnplugAfterCommands >= 0 && state.Commands >= config.UnplugAfterCommands;
        if (timeUp || commandsUp) {
            state.Gone = true;
            LogLine(Format("# unplugged device=%u", static_cast<unsigned>(i)));
        }
    }
}

std::vector<std::size_t> PresentDevices(const World& world)
{
    std::vector<std::size_t> present;
    for (std::size_t i = 0; i < world.Devices.size(); ++i)
        if (!world.Devices[i].Gone) present.push_back(i);
    return present;
}

}  // namespace sim

using namespace sim;

extern "C" {

FT_STATUS WINAPI FT_ListDevices(void* pArg1, void* pArg2, DWORD flags)
{
    return Guarded("FT_ListDevices", [&] {
        Lock lock(gLock);
        RefreshScenario(gWorld);
        UpdatePlugs(gWorld, NowMs());
        const std::vector<std::size_t> present = PresentDevices(gWorld);
        const auto& devices = gWorld.ActiveScenario.Devices;
        const bool byDescription = (flags & FT_OPEN_BY_DESCRIPTION) != 0;
        FT_STATUS status = FT_OK;
        std::string result;
        if (Failing(gWorld, "FT_ListDevices")) {
            status = FT_OTHER_ERROR;
        } else if (flags & FT_LIST_NUMBER_ONLY) {
            if (!pArg1) {
                status = FT_INVALID_PARAMETER;
            } else {
                *static_cast<DWORD*>(pArg1) = static_cast<DWORD>(present.size());
                result = Format(" count=%u", static_cast<unsigned>(present.size()));
            }
        } else if (flags & FT_LIST_BY_INDEX) {
            const auto index = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(pArg1));
            if (!pArg2) {
                status = FT_INVALID_PARAMETER;
            } else if (index >= present.size()) {
                status = FT_DEVICE_NOT_FOUND;
            } else {
                const DeviceConfig& d = devices[present[index]];
                const std::string& text = byDescription ? d.Description : d.Serial;
                CopyText(static_cast<char*>(pArg2), byDescription ? kFtDescriptionSize : kFtSerialNumberSize, text);
                result = " text=" + Quoted(text.data(), text.size());
            }
        } else if (flags & FT_LIST_ALL) {
            if (!pArg1 || !pArg2) {
                status = FT_INVALID_PARAMETER;
            } else {
                auto** texts = static_cast<char**>(pArg1);
                for (std::size_t i = 0; i < present.size(); ++i) {
                    const DeviceConfig& d = devices[present[i]];
                    if (texts[i])
                        CopyText(texts[i], byDescription ? kFtDescriptionSize : kFtSerialNumberSize,
                                 byDescription ? d.Description : d.Serial);
                }
                *static_cast<DWORD*>(pArg2) = static_cast<DWORD>(present.size());
                result = Format(" count=%u", static_cast<unsigned>(present.size()));
            }
        } else {
            status = FT_INVALID_PARAMETER;
        }
        LogLine(Format("FT_ListDevices arg1=0x%X flags=0x%08X -> %u",
                       static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(pArg1)), static_cast<unsigned>(flags),
                       static_cast<unsigned>(status)) +
                result);
        return status;
    });
}

FT_STATUS WINAPI FT_Open(int deviceIndex, FT_HANDLE* handle)
{
    return Guarded("FT_Open", [&] {
        Lock lock(gLock);
        RefreshScenario(gWorld);
        const double now = NowMs();
        UpdatePlugs(gWorld, now);
        const std::vector<std::size_t> present = PresentDevices(gWorld);
        FT_STATUS status = FT_OK;
        FT_HANDLE opened = 0;
        if (!handle) {
            status = FT_INVALID_PARAMETER;
        } else if (Failing(gWorld, "FT_Open")) {
            status = FT_OTHER_ERROR;
        } else if (deviceIndex < 0 || static_cast<std::size_t>(deviceIndex) >= present.size()) {
            status = FT_DEVICE_NOT_FOUND;
        } else {
            const std::size_t device = present[static_cast<std::size_t>(deviceIndex)];
            DeviceState& state = gWorld.Devices[device];
            if (gWorld.ActiveScenario.Devices[device].OpenFails ||
                (state.OpenCount > 0 && !gWorld.ActiveScenario.AllowSecondOpen)) {
                status = FT_DEVICE_NOT_OPENED;
            } else {
                opened = gWorld.NextHandle++;
                OpenHandle open;
                open.Device = device;
                gWorld.Handles.emplace_back(opened, std::move(open));
                ++state.OpenCount;
                if (state.FirstOpenMs < 0) state.FirstOpenMs = now;
                *handle = opened;
            }
        }
        LogLine(Format("FT_Open index=%d -> %u handle=0x%X open=%u", deviceIndex, static_cast<unsigned>(status),
                       static_cast<unsigned>(opened), static_cast<unsigned>(gWorld.Handles.size())));
        return status;
    });
}

FT_STATUS WINAPI FT_Close(FT_HANDLE handle)
{
    return Guarded("FT_Close", [&] {
        Lock lock(gLock);
        auto& handles = gWorld.Handles;
        const auto it = std::find_if(handles.begin(), handles.end(), [&](const auto& h) { return h.first == handle; });
        FT_STATUS status = FT_OK;
        if (it == handles.end()) {
            status = FT_INVALID_HANDLE;
        } else {
            // Closing always gives the handle back, even for a device that is gone.
            --gWorld.Devices[it->second.Device].OpenCount;
            handles.erase(it);
        }
        LogLine(Format("FT_Close handle=0x%X -> %u open=%u", static_cast<unsigned>(handle),
                       static_cast<unsigned>(status), static_cast<unsigned>(handles.size())));
        return status;
    });
}

FT_STATUS WINAPI FT_ResetDevice(FT_HANDLE handle)
{
    return SimpleCall("FT_ResetDevice", handle, "", [](OpenHandle&) {});
}

FT_STATUS WINAPI FT_Purge(FT_HANDLE handle, ULONG mask)
{
    return SimpleCall("FT_Purge", handle, Format("mask=%lu", mask), [mask](OpenHandle& open) {
        if (mask & FT_PURGE_RX) open.Queue.clear();
    });
}

FT_STATUS WINAPI FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesReturned)
{
    return Guarded("FT_Read", [&] {
        const double start = NowMs();
        for (;;) {
            {
                Lock lock(gLock);
                OpenHandle* open = nullptr;
                FT_STATUS status = CheckHandle(gWorld, "FT_Read", handle, open);
                if (status == FT_OK && (!buffer || !bytesReturned)) status = FT_INVALID_PARAMETER;
                const double now = NowMs();
                // Like the driver: wait for the bytes asked for until the read
                // time-out, then hand over what has come.
                if (status == FT_OK && ReadyBytes(*open, now) < bytesToRead && now - start < open->ReadTimeoutMs) {
                    // On the virtual clock the wait takes no real time: the
                    // clock moves on to the next moment that can end it.
                    if (ClockIsVirtual()) {
                        AdvanceClockTo(NextWaitEnd(gWorld, *open, now, start + open->ReadTimeoutMs));
                        continue;
                    }
                    // else on to the sleep below
                } else {
                    std::string taken;
                    if (status == FT_OK) {
                        while (taken.size() < bytesToRead && !open->Queue.empty() &&
                               open->Queue.front().ReadyMs <= now) {
                            Chunk& chunk = open->Queue.front();
                            const std::size_t n = std::min<std::size_t>(bytesToRead - taken.size(), chunk.Bytes.size());
                            taken.append(chunk.Bytes, 0, n);
                            chunk.Bytes.erase(0, n);
                            if (chunk.Bytes.empty()) open->Queue.pop_front();
                        }
                        std::memcpy(buffer, taken.data(), taken.size());
                        *bytesReturned = static_cast<DWORD>(taken.size());
                    }
                    LogLine(Format("FT_Read handle=0x%X asked=%lu -> %u read=%u data=", static_cast<unsigned>(handle),
                                   bytesToRead, static_cast<unsigned>(status), static_cast<unsigned>(taken.size())) +
                            Quoted(taken.data(), taken.size()));
                    return status;
                }
            }
            Sleep(1);
        }
    });
}

FT_STATUS WINAPI FT_Write(FT_HANDLE handle, void* buffer, DWORD bytesToWrite, DWORD* bytesWritten)
{
    return Guarded("FT_Write", [&] {
        Lock lock(gLock);
        OpenHandle* open = nullptr;
        FT_STATUS status = CheckHandle(gWorld, "FT_Write", handle, open);
        if (status == FT_OK && !buffer && bytesToWrite > 0) status = FT_INVALID_PARAMETER;
        const std::string command = status == FT_OK ? std::string(static_cast<const char*>(buffer), bytesToWrite) : "";
        std::string note;
        if (status == FT_OK) {
            if (bytesWritten) *bytesWritten = bytesToWrite;
            const double now = NowMs();
            const std::size_t device = open->Device;
            ++gWorld.Devices[device].Commands;
            const Scenario& scenario = gWorld.ActiveScenario;
            CommandKind kind = ClassifyCommand(command);
            std::optional<std::string> reply;
            if (scenario.Devices[device].Terminal) reply = gWorld.TheTerminal.Handle(command, now, kind);
            note = std::string(" command=") + CommandKindName(kind);
            if (kind != CommandKind::Unknown) {
                const int n = ++gWorld.CommandCounts[static_cast<std::size_t>(kind)];
                note += Format("#%d", n);
                const CommandFaults& faults = scenario.Faults[static_cast<std::size_t>(kind)];
                double delay = scenario.ReplyDelayMs;
                if (reply && faults.NoReply.Hits(n)) {
                    reply.reset();
                    note += " fault=NoReply";
                }
                if (reply && faults.Truncate.Hits(n)) {
                    const std::size_t keep = scenario.TruncateBytes > 0
                                                 ? std::min<std::size_t>(scenario.TruncateBytes, reply->size())
                                                 : reply->size() / 2;
                    reply->resize(keep);
                    note += " fault=Truncate";
                }
                if (reply && faults.Stray.Hits(n)) {
                    reply->insert(reply->begin(), static_cast<char>(scenario.StrayByte));
                    note += " fault=Stray";
                }
                if (reply && faults.Late.Hits(n)) {
                    delay = scenario.LateReplyMs;
                    note += " fault=Late";
                }
                if (reply) {
                    // The terminal answers one command after the other: a
                    // reply never overtakes the one before it.
                    double ready = now + delay;
                    if (!open->Queue.empty()) ready = std::max(ready, open->Queue.back().ReadyMs);
                    open->Queue.push_back(Chunk{ready, *reply});
                    note += Format(" due=%.1f reply=", ready - now) + Quoted(reply->data(), reply->size());
                }
            }
        }
        LogLine(Format("FT_Write handle=0x%X count=%lu -> %u data=", static_cast<unsigned>(handle), bytesToWrite,
                       static_cast<unsigned>(status)) +
                Quoted(command.data(), command.size()) + note);
        return status;
    });
}

FT_STATUS WINAPI FT_SetDivisor(FT_HANDLE handle, USHORT divisor)
{
    return SimpleCall("FT_SetDivisor", handle, Format("divisor=%u", divisor), [](OpenHandle&) {});
}

FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeoutMs, ULONG writeTimeoutMs)
{
    return SimpleCall("FT_SetTimeouts", handle, Format("read=%lu write=%lu", readTimeoutMs, writeTimeoutMs),
                      [readTimeoutMs](OpenHandle& open) { open.ReadTimeoutMs = readTimeoutMs; });
}

FT_STATUS WINAPI FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate)
{
    return SimpleCall("FT_SetBaudRate", handle, Format("baud=%lu", baudRate), [](OpenHandle&) {});
}

FT_STATUS WINAPI FT_GetDeviceInfo(FT_HANDLE handle, ULONG* deviceType, DWORD* deviceId, char* serialNumber,
                                  char* description, void* reserved)
{
    return Guarded("FT_GetDeviceInfo", [&] {
        Lock lock(gLock);
        OpenHandle* open = nullptr;
        const FT_STATUS status = CheckHandle(gWorld, "FT_GetDeviceInfo", handle, open);
        if (status == FT_OK) {
            const DeviceConfig& d = gWorld.ActiveScenario.Devices[open->Device];
            if (deviceType) *deviceType = d.Type;
            if (deviceId) *deviceId = d.Id;
            if (serialNumber) {
                // A serial number of 16 characters fills the buffer with no
                // room for its end, as a badly programmed bridge reports it.
                const std::size_t n = std::min(d.Serial.size(), kFtSerialNumberSize);
                std::memcpy(serialNumber, d.Serial.data(), n);
                if (n < kFtSerialNumberSize) serialNumber[n] = '\0';
            }
            if (description) CopyText(description, kFtDescriptionSize, d.Description);
        }
        LogLine(Format("FT_GetDeviceInfo handle=0x%X reserved=0x%X -> %u", static_cast<unsigned>(handle),
                       static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(reserved)),
                       static_cast<unsigned>(status)));
        return status;
    });
}

FT_STATUS WINAPI FT_GetStatus(FT_HANDLE handle, DWORD* rxBytes, DWORD* txBytes, DWORD* eventState)
{
    return Guarded("FT_GetStatus", [&] {
        Lock lock(gLock);
        OpenHandle* open = nullptr;
        FT_STATUS status = CheckHandle(gWorld, "FT_GetStatus", handle, open);
        DWORD ready = 0;
        // A call that fails by FailCalls still writes the count: what a failed
        // call leaves in its out-values is no answer, and a caller that takes
        // it for one shows.
        if (status == FT_OK || (open && status == FT_OTHER_ERROR)) {
            ready = ReadyBytes(*open, NowMs());
            if (rxBytes) *rxBytes = ready;
            if (txBytes) *txBytes = 0;
            if (eventState) *eventState = 0;
        }
        LogLine(Format("FT_GetStatus handle=0x%X -> %u rx=%lu", static_cast<unsigned>(handle),
                       static_cast<unsigned>(status), ready));
        return status;
    });
}

FT_STATUS WINAPI FT_GetQueueStatus(FT_HANDLE handle, DWORD* rxBytes)
{
    return SimpleCall("FT_GetQueueStatus", handle, "", [rxBytes](OpenHandle& open) {
        if (rxBytes) *rxBytes = ReadyBytes(open, NowMs());
    });
}

FT_STATUS WINAPI FT_SetRts(FT_HANDLE handle)
{
    return SimpleCall("FT_SetRts", handle, "", [](OpenHandle&) {});
}

FT_STATUS WINAPI FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength, UCHAR stopBits, UCHAR parity)
{
    return SimpleCall("FT_SetDataCharacteristics", handle,
                      Format("bits=%u stop=%u parity=%u", wordLength, stopBits, parity), [](OpenHandle&) {});
}

FT_STATUS WINAPI FT_SetFlowControl(FT_HANDLE handle, USHORT flowControl, UCHAR xon, UCHAR xoff)
{
    return SimpleCall("FT_SetFlowControl", handle, Format("flow=%u xon=%u xoff=%u", flowControl, xon, xoff),
                      [](OpenHandle&) {});
}

FT_STATUS WINAPI FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latencyMs)
{
    return SimpleCall("FT_SetLatencyTimer", handle, Format("ms=%u", latencyMs), [](OpenHandle&) {});
}

}  // extern "C"
