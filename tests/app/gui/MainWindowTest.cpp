// End-to-end window test: starts Volumetra.exe in a run folder of its own,
// beside the terminal simulator and one of its benches, finds the controls of
// the main window by name and works the window as an operator would.
//
// usage: MainWindowTest.exe CASE PATH-TO-Volumetra.exe PATH-TO-ftd2xx.dll SCENARIO-FOLDER
//   run      a whole calibration: fields, start, a device-change message and a
//            message box held open during the run, the end, the table file
//            checked against the bench's tank, screenshots before and after
//   pause    the automatic pause, continue, a pause by the button, stop on hold
//   close    closing the window while a run is active
//   startup  the states a device check ends in without a usable terminal
//   unplug   the idle poll losing the terminal, and the terminal coming back
//   nodriver no driver library: the message, the end, Volumetra.ini untouched
//   inifolder Volumetra.ini is a folder: closing reports the refused write
//            once and the window stays; without the folder closing ends
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "rtl/Startup.h"
#include "tests/support/GuiTestSupport.h"
#include "vcl/ControlNames.h"

namespace {

using testsupport::Check;
using testsupport::CheckEqual;
using testsupport::CheckScreenshot;
using testsupport::ErrorText;
using testsupport::FindMessageBox;
using testsupport::Formatted;
using testsupport::Shown;
using testsupport::Utf8;

int gFailures = 0;

constexpr wchar_t kConnected[] = L"Устройство подключено";
constexpr wchar_t kNotConnected[] = L"Устройство не подключено";
constexpr wchar_t kStopped[] = L"Волюметра остановлена";
constexpr wchar_t kResidualMessage[] = L"Остаток в баке не может быть больше самого бака";

// ---- Windows of the other process ----------------------------------------------

std::wstring WindowText(HWND window)
{
    wchar_t text[512] = {};
    // WM_GETTEXT rather than GetWindowTextW, which does not ask another process's window.
    // Every message of this test waits out its time limit: "abort if hung" gives
    // up at once on a thread that has not read its queue for 5 s, which a loaded
    // machine makes of a message box that is only slow.
    SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL,
                        testsupport::Scaled(5000), nullptr);
    return text;
}

void SetText(HWND window, const std::wstring& text)
{
    SendMessageTimeoutW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                        testsupport::Scaled(5000), nullptr);
}

// Posted, so that a handler that opens a message box does not hold the test.
void Click(HWND button)
{
    PostMessageW(button, BM_CLICK, 0, 0);
}

template <class TCondition>
bool WaitFor(TCondition condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < testsupport::Scaled(timeoutMs)) {
        if (condition()) return true;
        Sleep(20);
    }
    return condition();
}

// Waits up to timeoutMs for the window to show the text, and checks it.
bool CheckText(HWND window, const std::wstring& text, DWORD timeoutMs, const std::string& what)
{
    WaitFor([&] { return WindowText(window) == text; }, timeoutMs);
    return CheckEqual(WindowText(window), text, what, gFailures);
}

// The window's enabled state, for checks.
bool Enabled(HWND window)
{
    return IsWindowEnabled(window) != FALSE;
}

RECT ParentRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

struct TLayout {
    const wchar_t* FName;
    int FLeft, FTop, FWidth, FHeight;  // in the parent's client area
};

void CheckLayout(HWND form, const char* when)
{
    RECT client{};
    GetClientRect(form, &client);
    std::printf("client area %s: %ld x %ld\n", when, client.right, client.bottom);
    Check(client.right == 577 && client.bottom == 510, "the client area is 577 x 510",
          Formatted("%ld x %ld", client.right, client.bottom), gFailures);
    static constexpr TLayout kLayout[] = {
        {L"SerNum", 62, 8, 72, 20},          {L"FVersion", 227, 6, 72, 20},
        {L"GroupBox5", 159, 32, 152, 214},   {L"Edit1", 8, 35, 100, 21},  // in GroupBox1
        {L"edTime", 88, 26, 52, 21},                                      // in GroupBox6
        {L"edDopOstatok", 256, 369, 53, 21}, {L"sgTableVolumetra", 317, 72, 252, 324},
        {L"btVolumetra", 159, 452, 157, 28}, {L"btSaveTable", 322, 452, 232, 28},
        {L"CommandInfo", -1, 486, 574, 24},
    };
    for (const auto& c : kLayout) {
        HWND control = vcl::FindControl(form, c.FName);
        const RECT r = ParentRect(control);
        const bool same = control && r.left == c.FLeft && r.top == c.FTop && r.right - r.left == c.FWidth &&
                          r.bottom - r.top == c.FHeight;
        char what[128];
        std::snprintf(what, sizeof what, "  %ls sits at %d, %d, %d x %d", c.FName, c.FLeft, c.FTop, c.FWidth,
                      c.FHeight);
        Check(same, what,
              control ? Formatted("%ld, %ld, %ld x %ld", r.left, r.top, r.right - r.left, r.bottom - r.top)
                      : "no such control",
              gFailures);
    }
}

HWND WaitForMessageBox(DWORD processId, DWORD timeoutMs)
{
    HWND box = nullptr;
    WaitFor([&] { return (box = FindMessageBox(processId)) != nullptr; }, timeoutMs);
    return box;
}

bool HasIcon(HWND box)
{
    bool found = false;
    EnumChildWindows(
        box,
        [](HWND window, LPARAM param) WINAPI -> BOOL {
            wchar_t className[32] = {};
            GetClassNameW(window, className, 32);
            if (_wcsicmp(className, L"Static") == 0 && (GetWindowLongW(window, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
                IsWindowVisible(window) && SendMessageW(window, STM_GETICON, 0, 0) != 0) {
                *reinterpret_cast<bool*>(param) = true;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

void PressOk(HWND box)
{
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(box); }, 5000);
}

// ---- Files -----------------------------------------------------------------------

std::string ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    return ok;
}

std::wstring FromAnsi(const std::string& bytes)
{
    const int length = MultiByteToWideChar(1251, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(1251, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), length);
    return text;
}

std::vector<std::wstring> Lines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L"\r\n", start)) != std::wstring::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start) + L"<no CR LF>");
    return lines;
}

// ---- The program in its run folder ------------------------------------------------

struct TArgs {
    std::wstring FVolumetra, FDriver, FScenarios;
};

class TProgram {
public:
    // A fresh run folder; the driver and the bench only when given.
    TProgram(const TArgs& args, const std::wstring& folderName, const wchar_t* scenario, bool withDriver = true)
        : FArgs(args), FDir(testsupport::ArtifactsDir() + L"\\" + folderName)
    {
        CreateDirectoryW(FDir.c_str(), nullptr);
        for (const wchar_t* name : {L"Volumetra.ini", L"ftd2xx.ini", L"ftd2xx.dll", L"sim-calls.log"})
            DeleteFileW((FDir + L"\\" + name).c_str());
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((FDir + L"\\*.txt").c_str(), &found);  // tables of an earlier run
        if (search != INVALID_HANDLE_VALUE) {
            do DeleteFileW((FDir + L"\\" + found.cFileName).c_str());
            while (FindNextFileW(search, &found));
            FindClose(search);
        }
        CopyFileW(args.FVolumetra.c_str(), (FDir + L"\\Volumetra.exe").c_str(), FALSE);
        if (withDriver) CopyFileW(args.FDriver.c_str(), (FDir + L"\\ftd2xx.dll").c_str(), FALSE);
        if (scenario) UseScenario(scenario);
    }
    ~TProgram()
    {
        if (FProcess.hProcess) {
            if (WaitForSingleObject(FProcess.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(FProcess.hProcess, 1);
            CloseHandle(FProcess.hThread);
            CloseHandle(FProcess.hProcess);
        }
    }

    const std::wstring& Dir() const { return FDir; }
    std::wstring File(const wchar_t* name) const { return FDir + L"\\" + name; }

    // Puts a bench beside the driver; a changed file is a new bench for the
    // simulator (a terminal plugged in anew).
    void UseScenario(const wchar_t* scenario)
    {
        Sleep(50);  // a different write time than the file it replaces
        CopyFileW((FArgs.FScenarios + L"\\" + scenario).c_str(), File(L"ftd2xx.ini").c_str(), FALSE);
    }

    bool Start()
    {
        SetEnvironmentVariableW(L"VOLUMETRA_SIM_SCENARIO", nullptr);
        SetEnvironmentVariableW(L"VOLUMETRA_SIM_LOG", File(L"sim-calls.log").c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + File(L"Volumetra.exe") + L"\"";
        if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, FDir.c_str(), &startup,
                            &FProcess)) {
            FStartError = GetLastError();
            return false;
        }
        return true;
    }
    // Why Start failed, for the report.
    std::string StartError() const { return "CreateProcess: " + ErrorText(FStartError); }
    DWORD ProcessId() const { return FProcess.dwProcessId; }

    HWND WaitForForm()
    {
        // Found by name as soon as it exists; its controls are all there once it shows.
        WaitFor(
            [&] {
                FForm = vcl::FindFormWindow(FProcess.dwProcessId, L"MainForm");
                return FForm && IsWindowVisible(FForm);
            },
            15000);
        return FForm;
    }
    HWND Control(const wchar_t* name) const { return vcl::FindControl(FForm, name); }

    // Ends (normally) within timeoutMs; the exit code in exitCode.
    bool WaitForEnd(DWORD timeoutMs, DWORD& exitCode)
    {
        if (WaitForSingleObject(FProcess.hProcess, testsupport::Scaled(timeoutMs)) != WAIT_OBJECT_0) return false;
        GetExitCodeProcess(FProcess.hProcess, &exitCode);
        return true;
    }
    // Closes the main form; true when the program ended with exit code 0.
    // What happened instead is left in CloseResult for the report.
    bool Close(DWORD timeoutMs = 10000)
    {
        PostMessageW(FForm, WM_CLOSE, 0, 0);
        return Ended(timeoutMs);
    }
    // True when the program ends within timeoutMs with exit code 0.
    bool Ended(DWORD timeoutMs)
    {
        DWORD exitCode = 1;
        if (!WaitForEnd(timeoutMs, exitCode)) {
            FEndResult = Formatted("still running after %lu ms", timeoutMs);
            return false;
        }
        FEndResult = Formatted("exit code %lu", exitCode);
        return exitCode == 0;
    }
    const std::string& EndResult() const { return FEndResult; }

    // The simulator's call log, and the part of it after a mark.
    std::string Log() const { return ReadFileBytes(File(L"sim-calls.log")); }
    size_t Mark() const { return Log().size(); }
    std::string LogSince(size_t mark) const
    {
        const std::string log = Log();
        return mark < log.size() ? log.substr(mark) : std::string();
    }

private:
    TArgs FArgs;
    std::wstring FDir;
    PROCESS_INFORMATION FProcess{};
    DWORD FStartError = 0;
    std::string FEndResult;
    HWND FForm = nullptr;
};

size_t Count(const std::string& text, const std::string& what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

constexpr char kPumpOnWrite[] = "data=\"QVTARE=1,1,";
constexpr char kPumpOffWrite[] = "data=\"QVTARE=0,0,";

// The last tare command the log shows was written ("1,1" or "0,0").
std::string LastTare(const std::string& log)
{
    const size_t on = log.rfind(kPumpOnWrite);
    const size_t off = log.rfind(kPumpOffWrite);
    if (on == std::string::npos && off == std::string::npos) return "none";
    if (on == std::string::npos) return "0,0";
    if (off == std::string::npos) return "1,1";
    return on > off ? "1,1" : "0,0";
}

// The longest fill pass of the log: the time between two pump-on writes with
// no pump-off between them, in ms.
double LongestFillPass(const std::string& log)
{
    double longest = 0, lastOn = -1;
    size_t start = 0;
    for (size_t end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = log.substr(start, end - start);
        if (line.find(" FT_Write ") == std::string::npos) continue;
        const double at = std::strtod(line.c_str(), nullptr);
        if (line.find(kPumpOnWrite) != std::string::npos) {
            if (lastOn >= 0 && at - lastOn > longest) longest = at - lastOn;
            lastOn = at;
        } else if (line.find(kPumpOffWrite) != std::string::npos) {
            lastOn = -1;
        }
    }
    return longest;
}

// The fields of a short run: pulses of the bench, 4 points of 10 litres, no
// settling time, 1 % deviation.
void FillRunFields(TProgram& program, const wchar_t* points = L"4")
{
    SetText(program.Control(L"Edit1"), L"100");
    SetText(program.Control(L"edBak"), L"40");
    SetText(program.Control(L"edColPoint"), points);
    SetText(program.Control(L"edTime"), L"0");
    SetText(program.Control(L"edBoltanie"), L"1");
    SetText(program.Control(L"edSizeBak"), L"");
    SetText(program.Control(L"edDopOstatok"), L"");
}

void CheckNoMessageBox(const TProgram& program, const std::string& what)
{
    HWND box = FindMessageBox(program.ProcessId());
    Check(box == nullptr, what, box ? "a box that reads " + Shown(WindowText(GetDlgItem(box, 0xFFFF))) : "", gFailures);
}

// The last tare command of the log is the expected one (0,0: the pump is off).
bool CheckLastTare(const TProgram& program, const char* expected, DWORD timeoutMs, const std::string& what)
{
    WaitFor([&] { return LastTare(program.Log()) == expected; }, timeoutMs);
    return CheckEqual(LastTare(program.Log()), expected, what, gFailures);
}

// Pump-on exchanges in the log after a mark.
bool CheckPumpOns(const TProgram& program, size_t mark, const std::string& what, bool some, DWORD timeoutMs = 0)
{
    WaitFor([&] { return (Count(program.LogSince(mark), kPumpOnWrite) > 0) == some; }, timeoutMs);
    const size_t count = Count(program.LogSince(mark), kPumpOnWrite);
    return Check((count > 0) == some, what, Formatted("%zu pump-on exchanges", count), gFailures);
}

bool StartWhenConnected(TProgram& program, const TArgs&)
{
    if (!Check(program.Start(), "Volumetra.exe started", program.StartError(), gFailures)) return false;
    if (!Check(program.WaitForForm() != nullptr, "its main window MainForm is found",
               "no visible form named MainForm after 15 s", gFailures))
        return false;
    return CheckText(program.Control(L"CommandInfo"), kConnected, 10000, "the status reads \"Устройство подключено\"");
}

// ADC of the bench's sensor for a volume: its table, interpolated, held at the ends.
double BenchAdc(double litres)
{
    static constexpr double kTable[][2] = {{0, 100}, {40, 1700}, {80, 2900}};
    if (litres <= kTable[0][0]) return kTable[0][1];
    for (size_t i = 1; i < std::size(kTable); ++i)
        if (litres <= kTable[i][0]) {
            const double f = (litres - kTable[i - 1][0]) / (kTable[i][0] - kTable[i - 1][0]);
            return kTable[i - 1][1] + f * (kTable[i][1] - kTable[i - 1][1]);
        }
    return kTable[std::size(kTable) - 1][1];
}

// ---- Cases -------------------------------------------------------------------------

void CaseRun(const TArgs& args)
{
    TProgram program(args, L"run", L"fast.ini");
    if (!StartWhenConnected(program, args)) return;
    HWND form = program.WaitForForm();
    CheckEqual(WindowText(program.Control(L"SerNum")), L"SIM00042", "SerNum shows the terminal's serial number",
               gFailures);
    CheckEqual(WindowText(program.Control(L"FVersion")), L"10.45", "FVersion shows 10.45", gFailures);
    const bool startEnabled = Enabled(program.Control(L"btVolumetra"));
    const bool pauseEnabled = Enabled(program.Control(L"Button1"));
    Check(startEnabled && !pauseEnabled, "start enabled, pause disabled",
          Formatted("start %s, pause %s", startEnabled ? "enabled" : "disabled", pauseEnabled ? "enabled" : "disabled"),
          gFailures);
    // The key filters, as the operator types: Edit1 swallows the point and
    // letters, the whole-number fields drop what is not a digit.
    static constexpr struct {
        const wchar_t* FEdit;
        const wchar_t* FTyped;
        const wchar_t* FShown;
    } kTyping[] = {
        {L"Edit1", L"12.,5x", L"12,5"},        {L"edBak", L"4a0,\b5", L"45"},
        {L"edSizeBak", L"1234567", L"123456"},  // at most 6 characters
        {L"edDopOstatok", L"1-23", L"12"},      // at most 2
        {L"edBoltanie", L"0,5", L"0,5"},        // no filter
    };
    for (const auto& t : kTyping) {
        HWND edit = program.Control(t.FEdit);
        SetText(edit, L"");
        for (const wchar_t* c = t.FTyped; *c; ++c)
            SendMessageTimeoutW(edit, WM_CHAR, *c, 1, SMTO_NORMAL, testsupport::Scaled(5000), nullptr);
        CheckEqual(WindowText(edit), t.FShown, "typing into " + Utf8(t.FEdit) + " keeps what its filter lets pass",
                   gFailures);
    }
    CheckNoMessageBox(program, "the silent abort of the filters shows nothing");
    FillRunFields(program);
    SetText(program.Control(L"markaAvto"), L"ГАЗ");
    SetText(program.Control(L"numberAvto"), L"А123ВС");
    SetText(program.Control(L"markaDut"), L"ДУТ-М");
    SetText(program.Control(L"numberDut"), L"77");
    Sleep(300);
    CheckLayout(form, "before the run");
    CheckScreenshot(L"before-run", gFailures);

    Click(program.Control(L"btVolumetra"));
    HWND status = program.Control(L"CommandInfo");
    CheckText(program.Control(L"btVolumetra"), L"СТОП", 5000, "the start button reads \"СТОП\"");
    CheckText(status, L"Наполняем Бак", 10000, "the worker fills the tank");

    // A device-change message during the run probes nothing.
    {
        const size_t mark = program.Mark();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(form, WM_DEVICECHANGE, 7 /* DBT_DEVNODES_CHANGED */, 0, SMTO_NORMAL,
                            testsupport::Scaled(5000), &result);
        const std::string during = program.LogSince(mark);
        const size_t lists = Count(during, " FT_ListDevices ");
        const size_t opens = Count(during, " FT_Open ");
        Check(lists == 0 && opens == 0, "a device-change message during the run lists and opens no device",
              Formatted("%zu FT_ListDevices and %zu FT_Open calls", lists, opens), gFailures);
    }

    // A message box held open: the worker goes on meanwhile, filling and
    // ending its portion (3 s are enough for that on a machine at full speed).
    SetText(program.Control(L"edSizeBak"), L"50");
    SetText(program.Control(L"edDopOstatok"), L"50");
    Click(program.Control(L"Button1"));
    HWND box = WaitForMessageBox(program.ProcessId(), 5000);
    if (Check(box != nullptr, "the pause button shows its message for tank 50, residual 50", "no message box after 5 s",
              gFailures)) {
        CheckEqual(WindowText(box), L"Волюметра", "  caption \"Волюметра\"", gFailures);
        CheckEqual(WindowText(GetDlgItem(box, 0xFFFF)), kResidualMessage, "  the residual message", gFailures);
        Check(!HasIcon(box), "  no icon", "an icon", gFailures);
        const size_t mark = program.Mark();
        WaitFor(
            [&] {
                const std::string during = program.LogSince(mark);
                return Count(during, kPumpOnWrite) >= 10 && Count(during, kPumpOffWrite) >= 1;
            },
            3000);
        const std::string during = program.LogSince(mark);
        std::printf("while the box was open: %zu pump-on and %zu pump-off exchanges\n", Count(during, kPumpOnWrite),
                    Count(during, kPumpOffWrite));
        Check(Count(during, kPumpOnWrite) >= 10,
              "  the worker kept filling while the box was open (10 pump-ons at least)",
              Formatted("%zu pump-on exchanges", Count(during, kPumpOnWrite)), gFailures);
        Check(Count(during, kPumpOffWrite) >= 1, "  and stopped the pump at its portion's end", "no pump-off exchange",
              gFailures);
        PressOk(box);
        CheckEqual(WindowText(program.Control(L"Button1")), L"Приостановить", "  no pause was taken", gFailures);
    }
    SetText(program.Control(L"edSizeBak"), L"");
    SetText(program.Control(L"edDopOstatok"), L"");

    if (!CheckText(status, kStopped, 90000, "the run ends: \"Волюметра остановлена\"")) return;
    CheckEqual(WindowText(program.Control(L"btVolumetra")), L"Волюметрить", "the start button reads \"Волюметрить\"",
               gFailures);
    CheckEqual(LastTare(program.Log()), "0,0", "the pump is off at the end: the last tare command is 0,0", gFailures);
    Sleep(300);
    CheckLayout(form, "after the run");
    CheckScreenshot(L"after-run", gFailures);

    // Save, then find the one table file and compare it with the bench's tank.
    Click(program.Control(L"btSaveTable"));
    std::wstring tableName;
    WaitFor(
        [&] {
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW(program.File(L"ГАЗ_А123ВС_LLS-1_*.txt").c_str(), &found);
            if (search == INVALID_HANDLE_VALUE) return false;
            tableName = found.cFileName;
            FindClose(search);
            return true;
        },
        5000);
    if (!Check(!tableName.empty(), "the save button writes ГАЗ_А123ВС_LLS-1_<time>.txt", "no such file after 5 s",
               gFailures))
        return;
    std::printf("table file: %s\n", Utf8(tableName).c_str());
    const std::vector<std::wstring> lines = Lines(FromAnsi(ReadFileBytes(program.File(tableName.c_str()))));
    for (const auto& line : lines) std::printf("  | %s\n", Utf8(line).c_str());
    if (!CheckEqual(lines.size(), 5u + 5u, "four header lines, the titles, the start point and 4 points: 10 lines",
                    gFailures))
        return;
    static constexpr const wchar_t* kHeader[] = {L"Марка автомобиля: ГАЗ", L"Номер автомобиля: А123ВС",
                                                 L"Марка ДУТа: ДУТ-М", L"Номер ДУТа: 77", L"Литры\tЗначение АЦП"};
    for (size_t i = 0; i < std::size(kHeader); ++i)
        CheckEqual(lines[i], kHeader[i], Formatted("header line %zu", i + 1), gFailures);
    // The count crosses its target during a pass; the next pass sees it and
    // sends the pump-off. At 5 l/s the pump may run on for two passes.
    const double longestPass = LongestFillPass(program.Log());
    const double overshoot = 5.0 * 2 * longestPass / 1000 + 0.1;
    std::printf("longest fill pass %.0f ms: the pump stops within %.2f l of each target\n", longestPass, overshoot);
    for (int point = 0; point <= 4; ++point) {
        const std::wstring& line = lines[5 + point];
        const size_t tab = line.find(L'\t');
        std::wstring litresText = line.substr(0, tab);
        for (auto& c : litresText)
            if (c == L',') c = L'.';
        const double litres = std::wcstod(litresText.c_str(), nullptr);
        const double adc = tab == std::wstring::npos ? -1 : std::wcstod(line.c_str() + tab + 1, nullptr);
        const double target = 10.0 * point;
        const double expectedAdc = BenchAdc(litres);
        const double adcSlack = std::max(12.0, expectedAdc * 0.015);
        Check(litres >= target - 0.1 && litres <= target + overshoot && std::fabs(adc - expectedAdc) <= adcSlack,
              Formatted("  point %d: %.1f to %.2f l (its target, stopped within a pass), ADC %.0f ± %.0f "
                        "(what the tank shows for its litres)",
                        point, target - 0.1, target + overshoot, expectedAdc, adcSlack),
              Formatted("%.3f l, ADC %.0f: \"%s\"", litres, adc, Utf8(line).c_str()), gFailures);
    }
    Check(program.Close(), "the program ends after close, exit code 0", program.EndResult(), gFailures);
    const std::string ini = ReadFileBytes(program.File(L"Volumetra.ini"));
    Check(ini.find("VBak=40") != std::string::npos && ini.find("Impuls=100") != std::string::npos,
          "closing saved the fields into Volumetra.ini (VBak=40, Impuls=100)", Shown(ini), gFailures);
}

void CasePause(const TArgs& args)
{
    TProgram program(args, L"pause", L"fast.ini");
    if (!StartWhenConnected(program, args)) return;
    FillRunFields(program);
    // (30 - 15) / 10 + 1 = 2 points before the automatic pause.
    SetText(program.Control(L"edSizeBak"), L"30");
    SetText(program.Control(L"edDopOstatok"), L"15");
    HWND pause = program.Control(L"Button1");
    Click(program.Control(L"btVolumetra"));
    CheckText(program.Control(L"btVolumetra"), L"СТОП", 5000, "the run starts");

    if (!CheckText(pause, L"Продолжить", 30000, "the automatic pause comes after two points")) return;
    CheckLastTare(program, "0,0", 2000, "  the hold switched the pump off");
    size_t mark = program.Mark();
    Sleep(1500);
    CheckPumpOns(program, mark, "  nothing pumps during the hold", false);

    mark = program.Mark();
    Click(pause);
    CheckText(pause, L"Приостановить", 3000, "continue: the button reads \"Приостановить\"");
    CheckPumpOns(program, mark, "  the pump runs again", true, 3000);

    Click(pause);
    CheckText(pause, L"Продолжить", 3000, "a pause by the button");
    CheckLastTare(program, "0,0", 3000, "  switches the pump off");

    mark = program.Mark();
    Click(program.Control(L"btVolumetra"));
    CheckText(program.Control(L"CommandInfo"), kStopped, 30000, "stop on hold ends the run");
    CheckPumpOns(program, mark, "  without pumping again", false);
    CheckEqual(Enabled(pause), false, "  the pause button is reset: disabled", gFailures);
    CheckEqual(WindowText(pause), L"Приостановить", "  and reads \"Приостановить\"", gFailures);
    Check(program.Close(), "the program ends after close", program.EndResult(), gFailures);
}

void CaseClose(const TArgs& args)
{
    TProgram program(args, L"close", L"slow.ini");
    if (!StartWhenConnected(program, args)) return;
    FillRunFields(program);
    Click(program.Control(L"btVolumetra"));
    if (!CheckText(program.Control(L"CommandInfo"), L"Наполняем Бак", 10000, "the run fills")) return;
    HWND form = program.WaitForForm();
    PostMessageW(form, WM_CLOSE, 0, 0);
    WaitFor([&] { return !Enabled(form); }, 3000);
    CheckEqual(Enabled(form), false, "closing during a run disables the window", gFailures);
    Check(program.Ended(30000), "the program ends once the worker has stopped, exit code 0", program.EndResult(),
          gFailures);
    const std::string log = program.Log();
    CheckEqual(LastTare(log), "0,0", "the pump was switched off before the end: the last tare command is 0,0",
               gFailures);
    const size_t lastClose = log.rfind(" FT_Close ");
    const size_t lastOff = log.rfind(kPumpOffWrite);
    Check(lastClose != std::string::npos && lastClose > lastOff, "and the device closed after it",
          lastClose == std::string::npos
              ? "no FT_Close"
              : Formatted("the last FT_Close at byte %zu of the log, the last pump-off at %zu", lastClose, lastOff),
          gFailures);
    const std::string ini = ReadFileBytes(program.File(L"Volumetra.ini"));
    Check(ini.find("VBak=40") != std::string::npos, "the settings were saved (VBak=40)", Shown(ini), gFailures);
}

void CaseStartup(const TArgs& args)
{
    static constexpr struct {
        const wchar_t* FScenario;
        const wchar_t* FStatus;
        DWORD FWithinMs;
    } kCases[] = {
        {L"no-device.ini", kNotConnected, 3000},
        {L"silent-bridge.ini", L"Ошибка чтения версии прошивки", 12000},
        {L"old-firmware.ini", L"Обновите прошивку до 10.45", 5000},
    };
    for (const auto& c : kCases) {
        std::printf("bench %ls\n", c.FScenario);
        TProgram program(args, std::wstring(L"startup-") + c.FScenario, c.FScenario);
        if (!Check(program.Start(), "Volumetra.exe started", program.StartError(), gFailures) ||
            !Check(program.WaitForForm() != nullptr, "the main window is found",
                   "no visible form named MainForm after 15 s", gFailures))
            continue;
        // The status reads "not connected" from the first showing on: wait
        // for the device check to have looked at the driver's list.
        Check(WaitFor([&] { return Count(program.Log(), " FT_ListDevices ") > 0; }, 5000), "  the device check ran",
              "no FT_ListDevices in the simulator's log after 5 s", gFailures);
        CheckText(program.Control(L"CommandInfo"), c.FStatus, c.FWithinMs, "  the status line");
        Sleep(300);
        CheckEqual(WindowText(program.Control(L"CommandInfo")), c.FStatus, "  and stays", gFailures);
        CheckEqual(Enabled(program.Control(L"btVolumetra")), false, "  start stays disabled", gFailures);
        if (c.FStatus == kNotConnected)
            CheckEqual(WindowText(program.Control(L"SerNum")), L"------", "  SerNum shows ------", gFailures);
        Check(program.Close(), "  the program ends after close", program.EndResult(), gFailures);
    }
}

void CaseUnplug(const TArgs& args)
{
    TProgram program(args, L"unplug", L"unplug.ini");
    if (!StartWhenConnected(program, args)) return;
    HWND status = program.Control(L"CommandInfo");
    HWND form = program.WaitForForm();
    CheckText(status, L"Ошибка чтения", 6000, "unplugged during the idle poll: \"Ошибка чтения\"");
    DWORD_PTR result = 0;
    SendMessageTimeoutW(form, WM_DEVICECHANGE, 7, 0, SMTO_NORMAL, testsupport::Scaled(10000), &result);
    CheckText(status, kNotConnected, 3000, "a device-change message then: \"Устройство не подключено\"");
    CheckEqual(Enabled(program.Control(L"btVolumetra")), false, "  start disabled", gFailures);

    program.UseScenario(L"replugged.ini");
    SendMessageTimeoutW(form, WM_DEVICECHANGE, 7, 0, SMTO_NORMAL, testsupport::Scaled(10000), &result);
    CheckText(status, kConnected, 3000, "plugged in again: \"Устройство подключено\"");
    CheckEqual(Enabled(program.Control(L"btVolumetra")), true, "  start enabled", gFailures);
    const size_t mark = program.Mark();
    WaitFor([&] { return Count(program.LogSince(mark), kPumpOffWrite) >= 2; }, 3000);
    Check(Count(program.LogSince(mark), kPumpOffWrite) >= 2, "  the idle poll runs: 2 pump-off exchanges within 3 s",
          Formatted("%zu", Count(program.LogSince(mark), kPumpOffWrite)), gFailures);

    // A device check while the poll holds the device: the bench refuses a
    // second open, so the probe must give the held handle back first.
    const size_t probeMark = program.Mark();
    SendMessageTimeoutW(form, WM_DEVICECHANGE, 7, 0, SMTO_NORMAL, testsupport::Scaled(10000), &result);
    const std::string probe = program.LogSince(probeMark);
    const size_t close = probe.find(" FT_Close ");
    const size_t open = probe.find(" FT_Open ");
    Check(close != std::string::npos && open != std::string::npos && close < open &&
              probe.find("-> 0 handle=", open) != std::string::npos,
          "a device check during the idle poll closes the held handle, then opens the device", "the calls:\n" + probe,
          gFailures);
    CheckEqual(WindowText(status), kConnected, "  the status stays \"Устройство подключено\"", gFailures);
    const size_t pollMark = program.Mark();
    WaitFor([&] { return Count(program.LogSince(pollMark), " FT_Read ") >= 2; }, 3000);
    Check(Count(program.LogSince(pollMark), " FT_Read ") >= 2,
          "  the idle poll goes on with the new handle: 2 reads within 3 s",
          Formatted("%zu", Count(program.LogSince(pollMark), " FT_Read ")), gFailures);
    CheckEqual(WindowText(status), kConnected, "  without a read error", gFailures);
    Check(program.Close(), "the program ends after close", program.EndResult(), gFailures);
}

void CaseNoDriver(const TArgs& args)
{
    TProgram program(args, L"nodriver", nullptr, false);
    const std::string settings =
        "; the operator's own\r\n[SETTINGS]\r\nImpuls=321\r\nVBak=250\r\nLitrPoint=25\r\nIndexLLS=3\r\n"
        "marka=\xCA\xC0\xCC\xC0\xC7\r\nnumber=X1\r\nmarkaLLS=\r\nnumberLLS=9\r\nTimeout=5\r\nboltanie=0.5\r\n";
    const bool written = WriteFileBytes(program.File(L"Volumetra.ini"), settings);
    Check(written, "a filled Volumetra.ini", ErrorText(GetLastError()), gFailures);
    if (!Check(program.Start(), "Volumetra.exe started without ftd2xx.dll", program.StartError(), gFailures)) return;
    HWND box = WaitForMessageBox(program.ProcessId(), 10000);
    if (Check(box != nullptr, "the missing driver is reported", "no message box after 10 s", gFailures)) {
        CheckEqual(WindowText(box), L"Zarvonix Волюметра", "  caption \"Zarvonix Волюметра\"", gFailures);
        CheckEqual(WindowText(GetDlgItem(box, 0xFFFF)),
                   L"Перед первым запуском программы подключите\t\t\t\r\nустройство к USB и установите драйвер.",
                   "  the text", gFailures);
        Check(HasIcon(box), "  the error icon", "no icon", gFailures);
        testsupport::RequestScreenshot(L"no-driver");
        PressOk(box);
    }
    Check(program.Ended(10000), "the program ends by itself, exit code 0", program.EndResult(), gFailures);
    CheckEqual(ReadFileBytes(program.File(L"Volumetra.ini")), settings, "Volumetra.ini is byte for byte as it was",
               gFailures);
}

// The visible message boxes of the process.
int CountMessageBoxes(DWORD processId)
{
    struct TCount {
        DWORD ProcessId;
        int Boxes;
    } count{processId, 0};
    EnumWindows(
        [](HWND window, LPARAM param) WINAPI -> BOOL {
            auto* count = reinterpret_cast<TCount*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            wchar_t className[32] = {};
            GetClassNameW(window, className, 32);
            if (owner == count->ProcessId && std::wstring(className) == L"#32770" && IsWindowVisible(window))
                ++count->Boxes;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.Boxes;
}

void CaseIniFolder(const TArgs& args)
{
    TProgram program(args, L"inifolder", L"fast.ini");
    const std::wstring ini = program.File(L"Volumetra.ini");
    RemoveDirectoryW(ini.c_str());
    if (!Check(CreateDirectoryW(ini.c_str(), nullptr) != FALSE, "Volumetra.ini is a folder",
               ErrorText(GetLastError()), gFailures))
        return;
    if (!StartWhenConnected(program, args)) return;
    PostMessageW(vcl::FindFormWindow(program.ProcessId(), L"MainForm"), WM_CLOSE, 0, 0);
    HWND box = WaitForMessageBox(program.ProcessId(), 20000);
    if (Check(box != nullptr, "closing reports the refused write", "no message box after 20 s", gFailures)) {
        // The report's whole text, longer than WindowText reads.
        HWND label = GetDlgItem(box, 0xFFFF);
        DWORD_PTR length = 0;
        SendMessageTimeoutW(label, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, testsupport::Scaled(5000), &length);
        std::wstring text(length + 1, L'\0');
        SendMessageTimeoutW(label, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()), SMTO_NORMAL,
                            testsupport::Scaled(5000), nullptr);
        text.resize(wcslen(text.c_str()));
        Check(text.find(L"Unable to write to ") != std::wstring::npos && text.find(L"Volumetra.ini") != std::wstring::npos,
              "  the report names \"Unable to write to ...Volumetra.ini\"", Utf8(text.substr(0, 2000)), gFailures);
        // The crash reporter's report, not the class library's box.
        Check(text.rfind(L"VexlorLog ", 0) == 0, "  it is the crash report", Utf8(text.substr(0, 200)), gFailures);
        CheckEqual(CountMessageBoxes(program.ProcessId()), 1, "  one box", gFailures);
        PressOk(box);
    }
    // No box of the class library after the report's, nor a second report.
    Sleep(testsupport::Scaled(2000));
    CheckEqual(CountMessageBoxes(program.ProcessId()), 0, "no other box follows", gFailures);
    HWND form = vcl::FindFormWindow(program.ProcessId(), L"MainForm");
    Check(form != nullptr && IsWindowVisible(form), "the window stays", "the main form is gone", gFailures);
    DWORD exitCode = 0;
    Check(!program.WaitForEnd(0, exitCode), "  and the program runs on", Formatted("exit code %lu", exitCode),
          gFailures);
    Check(RemoveDirectoryW(ini.c_str()) != FALSE, "the folder is removed", ErrorText(GetLastError()), gFailures);
    Check(program.Close(), "then closing ends the program, exit code 0", program.EndResult(), gFailures);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const rtl::TProgramStartup programStartup;
    if (argc != 5) {
        std::printf("usage: MainWindowTest.exe CASE Volumetra.exe ftd2xx.dll SCENARIO-FOLDER\n");
        return 2;
    }
    CheckEqual(GetACP(), 1251u, "the ANSI code page is 1251 (host locale ru_RU.UTF-8)", gFailures);
    const std::wstring name = argv[1];
    const TArgs args{argv[2], argv[3], argv[4]};
    if (name == L"run")
        CaseRun(args);
    else if (name == L"pause")
        CasePause(args);
    else if (name == L"close")
        CaseClose(args);
    else if (name == L"startup")
        CaseStartup(args);
    else if (name == L"unplug")
        CaseUnplug(args);
    else if (name == L"nodriver")
        CaseNoDriver(args);
    else if (name == L"inifolder")
        CaseIniFolder(args);
    else {
        std::printf("unknown case %ls\n", name.c_str());
        return 2;
    }
    std::printf("%d failure(s)\n", gFailures);
    return gFailures == 0 ? 0 : 1;
}
