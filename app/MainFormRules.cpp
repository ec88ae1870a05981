// The main window's field checks, key filters and table layout.
#include "app/MainFormRules.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "rtl/SysUtils.h"
#include "vcl/Grid.h"

namespace app {

int OptionalWholeNumber(const std::wstring& text)
{
    int value = 0;
    return rtl::TryStrToInt(text, value) ? value : -1;
}

bool ResidualExceedsTank(int tankSize, int allowedResidual) noexcept
{
    return tankSize >= 1 && allowedResidual >= 1 && allowedResidual >= tankSize;
}

bool ScanDeviation(const std::wstring& text, float& value)
{
    const std::string bytes = rtl::WideToAnsi(text);
    float scanned = 0;
    if (std::sscanf(bytes.c_str(), "%f", &scanned) != 1) return false;
    value = scanned;
    return true;
}

std::wstring CheckStartFields(const TStartFieldTexts& texts, TMainFormFields& fields)
{
    double pulses = 0;
    if (!rtl::TryStrToFloat(texts.FPulsesPerLitre, pulses)) return kBadPulsesMessage;
    fields.FPulsesPerLitre = static_cast<float>(pulses);
    // Not a number of pulses a flow meter can have: the litres would divide by
    // it. Forty digits are typed quickly and make an infinite float.
    if (!(fields.FPulsesPerLitre > 0) || !std::isfinite(fields.FPulsesPerLitre)) return kBadPulsesMessage;

    // A text that is no number leaves its field as it was.
    int value = 0;
    if (!rtl::TryStrToInt(texts.FTankCapacity, value)) return kBadCapacityMessage;
    fields.FTankCapacity = value;
    // The terminal counts pulses in a signed 32-bit number: a run whose last
    // target lies beyond it could never reach that target and would not stop.
    if (value <= 0 || static_cast<double>(value) * fields.FPulsesPerLitre >= kMaxRunPulses) return kBadCapacityMessage;
    if (!rtl::TryStrToInt(texts.FPointCount, value)) return kBadPointsMessage;
    fields.FPointCount = value;
    if (value <= 0 || value > kMaxPointCount) return kBadPointsMessage;
    if (!rtl::TryStrToInt(texts.FSettlingTime, value)) return kBadTimeoutMessage;
    fields.FSettlingTime = value;
    if (value > kMaxSettlingTime) return kBadTimeoutMessage;

    fields.FTankSize = OptionalWholeNumber(texts.FTankSize);
    fields.FAllowedResidual = OptionalWholeNumber(texts.FAllowedResidual);
    if (ResidualExceedsTank(fields.FTankSize, fields.FAllowedResidual)) return kResidualMessage;

    float deviation = 0;
    if (ScanDeviation(texts.FDeviation, deviation)) {
        // Written so that "nan", which the scan converts, is refused too: with
        // it no point would ever settle, and a settling run cannot be stopped.
        if (!(deviation >= 0 && deviation <= kMaxDeviation)) return kBadDeviationMessage;
        fields.FDeviation = deviation;
    }
    return std::wstring();
}

TVolumetraParams MakeVolumetraParams(const TMainFormFields& fields, int sensorType, int sensorIndex)
{
    TVolumetraParams params;
    params.FPulsesPerLitre = fields.FPulsesPerLitre;
    params.FSensorType = static_cast<std::uint8_t>(sensorType < 0 ? 0 : sensorType);
    params.FTankCapacity = fields.FTankCapacity;
    params.FPointCount = fields.FPointCount;
    params.FSensorIndex = sensorIndex;
    params.FDeviation = fields.FDeviation;
    params.FSettlingTime = fields.FSettlingTime;
    params.FTankSize = fields.FTankSize;
    params.FAllowedResidual = fields.FAllowedResidual;
    return params;
}

bool PulsesKeyPasses(wchar_t key) noexcept
{
    return (key >= L'0' && key <= L'9') || key == 8 || key == L',';
}

bool WholeNumberKeyPasses(wchar_t key) noexcept
{
    return (key >= L'0' && key <= L'9') || key == 8;
}

void PrepareRunTable(vcl::TStringGrid& grid, int pointCount)
{
    grid.SetCell(kLitresColumn, kCurrentRow, std::wstring());
    grid.SetCell(kAdcColumn, kCurrentRow, std::wstring());
    for (int row = kStartPointRow; row < grid.RowCount(); ++row)
        for (int column = 0; column < grid.ColCount(); ++column) grid.SetCell(column, row, std::wstring());
    grid.SetRowCount(pointCount + 5);
    for (int row = kStartPointRow; row <= pointCount + 4; ++row)
        grid.SetCell(0, row, rtl::IntToStr(row - kStartPointRow));
}

void SetTableHeadings(vcl::TStringGrid& grid)
{
    grid.SetCell(kLitresColumn, 0, L"Текущий объём");
    grid.SetCell(kAdcColumn, 0, L"Текущ. знач. АЦП");
    grid.SetCell(0, 2, L"№");
    grid.SetCell(kLitresColumn, 2, L"Литры");
    grid.SetCell(kAdcColumn, 2, L"значение АЦП");
}

}  // namespace app
