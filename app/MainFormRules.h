// The rules of the main window that need no window: how the start and pause
// buttons read and check the input fields, the key filters of the edits and
// the layout of the result table for a run.
//
// Pure functions of their arguments (the table one of a grid object that may
// have no window yet). Main thread, as the window that uses them; nothing
// here shows a message or raises, except where a grid index is out of range.
#pragma once
#include <string>

#include "app/VolumetraThread.h"

namespace vcl {
class TStringGrid;
}

namespace app {

// Messages of the checks, in the order the start button makes them.
inline constexpr wchar_t kBadPulsesMessage[] = L"Не верное значение в поле \"Импульсов на литр\"";
inline constexpr wchar_t kBadCapacityMessage[] = L"Не верное значение в поле \"Ёмкость бака\"";
inline constexpr wchar_t kBadPointsMessage[] = L"Не верное значение в поле \"Количество точек\"";
inline constexpr wchar_t kBadTimeoutMessage[] = L"Не верное значение в поле \"Таймаут\"";
inline constexpr wchar_t kResidualMessage[] = L"Остаток в баке не может быть больше самого бака";
inline constexpr wchar_t kBadDeviationMessage[] = L"Не верное значение в поле \"% отклонения\"";
inline constexpr float kMaxDeviation = 50;
// Bounds that keep a run's numbers inside what the grid and the terminal's
// 32-bit pulse counter can hold.
inline constexpr int kMaxPointCount = 100000;
inline constexpr int kMaxSettlingTime = 86400;  // a day, in seconds
inline constexpr double kMaxRunPulses = 2147483647.0;

// The texts of the fields the start button reads.
struct TStartFieldTexts {
    std::wstring FPulsesPerLitre;   // Edit1
    std::wstring FTankCapacity;     // edBak
    std::wstring FPointCount;       // edColPoint
    std::wstring FSettlingTime;     // edTime
    std::wstring FTankSize;         // edSizeBak
    std::wstring FAllowedResidual;  // edDopOstatok
    std::wstring FDeviation;        // edBoltanie
};

// The window's numeric fields, as the checks leave them.
struct TMainFormFields {
    float FPulsesPerLitre = 0;
    int FTankCapacity = 0;
    int FPointCount = 0;
    int FSettlingTime = 0;
    int FTankSize = 0;
    int FAllowedResidual = 0;
    float FDeviation = 0;  // kept from the last successful scan
};

// A whole number of an optional field; -1 when the text is not one.
int OptionalWholeNumber(const std::wstring& text);

// Both given (1 or more) and the residual not below the tank size.
bool ResidualExceedsTank(int tankSize, int allowedResidual) noexcept;

// The deviation text, converted to 8-bit text and scanned as "%f" (the point
// is the decimal separator, whatever the locale; "0,5" scans as 0). False
// when nothing converts.
bool ScanDeviation(const std::wstring& text, float& value);

// The checks of the start button, in order: pulses per litre (a floating-
// point number of the user's locale), tank capacity, number of points and
// settling time (whole numbers), tank size and residual (-1 each when not
// whole numbers), the residual against the tank, then the deviation (0 to
// 50; a text that does not scan keeps the deviation as it was). Pulses per
// litre, capacity and points of 0 or less are refused with the message of
// their field, since a run cannot divide by them. Each value is stored into
// `fields` as it is read, so the ones before a failure keep their new values.
// Returns the message of the first failure, or an empty text when all pass.
std::wstring CheckStartFields(const TStartFieldTexts& texts, TMainFormFields& fields);

// The worker's parameters from checked fields.
TVolumetraParams MakeVolumetraParams(const TMainFormFields& fields, int sensorType, int sensorIndex);

// Key filters of the edits. Pulses per litre: digits, backspace and the comma
// pass (the rest is swallowed). Whole-number fields: digits and backspace
// (the rest is cancelled by the silent abort).
bool PulsesKeyPasses(wchar_t key) noexcept;
bool WholeNumberKeyPasses(wchar_t key) noexcept;

// The result table for a run of pointCount points: the current values of row
// 1 and every cell from row 3 on emptied, pointCount + 5 rows, and column 0
// of rows 3 to pointCount + 4 numbered 0 to pointCount + 1.
void PrepareRunTable(vcl::TStringGrid& grid, int pointCount);

// The headings of rows 0 and 2.
void SetTableHeadings(vcl::TStringGrid& grid);

}  // namespace app
