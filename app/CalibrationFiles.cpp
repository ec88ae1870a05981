// The calibration table file and the settings file "Volumetra.ini".
#include "app/CalibrationFiles.h"

#include "rtl/Handles.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"

namespace app {
namespace {

constexpr wchar_t kSection[] = L"SETTINGS";
constexpr int kFirstPointRow = 3;
constexpr int kSensorCount = 8;

// The settings kept as plain texts, in the order they are written and read.
struct TextSetting {
    const wchar_t* Key;
    TCalibrationText Control;
    const wchar_t* Default;
};
constexpr TextSetting kLeadingSettings[] = {
    {L"Impuls", TCalibrationText::Edit1, L"200"},
    {L"VBak", TCalibrationText::edBak, L"400"},
    {L"LitrPoint", TCalibrationText::edColPoint, L"20"},
};
// The profile functions compare key names without regard to case, so the
// sensor selection ("NumberLLS") and the sensor's own number ("numberLLS")
// would be one key: the number, written last, overwrote the selection, and a
// sensor number from 1 to 8 chose that sensor at the next start. Files in use
// hold the sensor number under that name; the selection gets a key of its own.
constexpr wchar_t kSensorKey[] = L"IndexLLS";
constexpr TextSetting kTrailingSettings[] = {
    {L"marka", TCalibrationText::markaAvto, L""},   {L"number", TCalibrationText::numberAvto, L""},
    {L"markaLLS", TCalibrationText::markaDut, L""}, {L"numberLLS", TCalibrationText::numberDut, L""},
    {L"Timeout", TCalibrationText::edTime, L"1"},   {L"boltanie", TCalibrationText::edBoltanie, L"0.1"},
};

std::wstring SaveFailureText(const std::wstring& path, DWORD error)
{
    std::wstring reason = rtl::SysErrorMessage(error);
    if (reason.empty()) reason = L"код ошибки " + rtl::IntToStr(static_cast<int>(error));
    return L"Не удалось сохранить таблицу в файл\r\n" + path + L"\r\n" + reason + L".";
}

// Writes `bytes` to a new temporary file in `folder` and moves it over
// `target`. Answers 0, or the system's error code of the step that failed.
DWORD WriteReplacing(const std::string& folder, const std::string& target, const std::string& bytes)
{
    char temporary[MAX_PATH] = {};
    if (::GetTempFileNameA(folder.c_str(), "vlm", 0, temporary) == 0) return ::GetLastError();
    DWORD error = 0;
    {
        rtl::FileHandle file(
            ::CreateFileA(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (!file) {
            error = ::GetLastError();
        } else if (!::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
            error = ::GetLastError();
        } else if (written != bytes.size()) {
            error = ERROR_DISK_FULL;
        } else if (!::FlushFileBuffers(file.Get()) || !file.Close()) {
            error = ::GetLastError();
        }
    }
    if (error == 0 && !::MoveFileExA(temporary, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = ::GetLastError();
    if (error != 0) ::DeleteFileA(temporary);
    return error;
}

}  // namespace

std::wstring TableFileName(const CalibrationControls& controls, const SYSTEMTIME& time)
{
    return controls.Text(TCalibrationText::markaAvto) + L"_" + controls.Text(TCalibrationText::numberAvto) + L"_LLS-" +
           rtl::IntToStr(controls.SensorIndex() + 1) + L"_" + rtl::FormatDateTime(L"dd.mmm.yy_hh.mm.ss", time) +
           L".txt";
}

std::string TableFileText(const CalibrationControls& controls)
{
    std::wstring text;
    auto line = [&text](const std::wstring& content) { text += content + L"\r\n"; };
    line(L"Марка автомобиля: " + controls.Text(TCalibrationText::markaAvto));
    line(L"Номер автомобиля: " + controls.Text(TCalibrationText::numberAvto));
    line(L"Марка ДУТа: " + controls.Text(TCalibrationText::markaDut));
    line(L"Номер ДУТа: " + controls.Text(TCalibrationText::numberDut));
    line(L"Литры\tЗначение АЦП");
    for (int row = kFirstPointRow; row < controls.TableRowCount(); ++row) {
        const std::wstring litres = controls.TableCell(1, row);
        const std::wstring adc = controls.TableCell(2, row);
        if (!litres.empty() && !adc.empty()) line(litres + L"\t" + adc);
    }
    return rtl::WideToAnsi(text);
}

bool SaveTable(CalibrationControls& controls, const std::wstring& folder, const SYSTEMTIME& time)
{
    const std::wstring path = folder + TableFileName(controls, time);
    DWORD error = 0;
    try {
        // The file system sees the 8-bit path of the system code page.
        error = WriteReplacing(rtl::WideToAnsi(folder), rtl::WideToAnsi(path), TableFileText(controls));
    } catch (...) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error == 0) return true;
    controls.ShowMessage(SaveFailureText(path, error));
    return false;
}

std::wstring SettingsFileName(const std::wstring& folder)
{
    return folder + L"Volumetra.ini";
}

void SaveSettings(const CalibrationControls& controls, const std::wstring& folder)
{
    rtl::TIniFile ini(SettingsFileName(folder));
    for (const TextSetting& setting : kLeadingSettings)
        ini.WriteString(kSection, setting.Key, controls.Text(setting.Control));
    ini.WriteInteger(kSection, kSensorKey, controls.SensorIndex() + 1);
    for (const TextSetting& setting : kTrailingSettings)
        ini.WriteString(kSection, setting.Key, controls.Text(setting.Control));
    ini.UpdateFile();
}

void LoadSettings(CalibrationControls& controls, const std::wstring& folder)
{
    const rtl::TIniFile ini(SettingsFileName(folder));
    for (const TextSetting& setting : kLeadingSettings)
        controls.SetText(setting.Control, ini.ReadString(kSection, setting.Key, setting.Default));
    const int sensor = ini.ReadInteger(kSection, kSensorKey, 1);
    if (sensor >= 1 && sensor <= kSensorCount) controls.SetSensorIndex(sensor - 1);
    for (const TextSetting& setting : kTrailingSettings)
        controls.SetText(setting.Control, ini.ReadString(kSection, setting.Key, setting.Default));
}

}  // namespace app
