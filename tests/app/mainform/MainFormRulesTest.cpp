// The checks of the start button in their order, with their messages, the
// key filters and the table a run starts with. The tests run in a locale
// whose decimal separator is the comma (ru_RU, code page 1251).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/MainFormRules.h"
#include "rtl/SysUtils.h"
#include "vcl/Grid.h"

namespace {

using app::TMainFormFields;
using app::TStartFieldTexts;

TStartFieldTexts GoodTexts()
{
    return {L"200", L"400", L"20", L"30", L"", L"", L"0.1"};
}

TEST(StartFields, LocaleHasTheComma)
{
    ASSERT_EQ(rtl::DecimalSeparator(), L',') << "the tests expect ru_RU's decimal separator";
}

TEST(StartFields, FirstFailureGivesItsMessage)
{
    struct Case {
        const char* what;
        TStartFieldTexts texts;
        const wchar_t* message;  // empty: passes
    };
    static const Case kCases[] = {
        {"all good", GoodTexts(), L""},
        {"pulses with the locale's comma", {L"12,5", L"400", L"20", L"30", L"", L"", L"0.1"}, L""},
        {"pulses with a point", {L"12.5", L"400", L"20", L"30", L"", L"", L"0.1"}, app::kBadPulsesMessage},
        {"pulses empty", {L"", L"400", L"20", L"30", L"", L"", L"0.1"}, app::kBadPulsesMessage},
        {"pulses 0", {L"0", L"400", L"20", L"30", L"", L"", L"0.1"}, app::kBadPulsesMessage},
        {"capacity a word", {L"200", L"abc", L"20", L"30", L"", L"", L"0.1"}, app::kBadCapacityMessage},
        {"capacity a fraction", {L"200", L"40,5", L"20", L"30", L"", L"", L"0.1"}, app::kBadCapacityMessage},
        {"capacity 0", {L"200", L"0", L"20", L"30", L"", L"", L"0.1"}, app::kBadCapacityMessage},
        {"points 0", {L"200", L"400", L"0", L"30", L"", L"", L"0.1"}, app::kBadPointsMessage},
        {"points negative", {L"200", L"400", L"-3", L"30", L"", L"", L"0.1"}, app::kBadPointsMessage},
        {"timeout empty", {L"200", L"400", L"20", L"", L"", L"", L"0.1"}, app::kBadTimeoutMessage},
        {"timeout 0 passes", {L"200", L"400", L"20", L"0", L"", L"", L"0.1"}, L""},
        {"tank 50, residual 50", {L"200", L"400", L"20", L"30", L"50", L"50", L"0.1"}, app::kResidualMessage},
        {"tank 50, residual 49", {L"200", L"400", L"20", L"30", L"50", L"49", L"0.1"}, L""},
        {"residual without tank", {L"200", L"400", L"20", L"30", L"", L"49", L"0.1"}, L""},
        {"tank without residual", {L"200", L"400", L"20", L"30", L"50", L"", L"0.1"}, L""},
        {"deviation 60", {L"200", L"400", L"20", L"30", L"", L"", L"60"}, app::kBadDeviationMessage},
        {"deviation 50", {L"200", L"400", L"20", L"30", L"", L"", L"50"}, L""},
        {"deviation negative", {L"200", L"400", L"20", L"30", L"", L"", L"-1"}, app::kBadDeviationMessage},
        {"deviation letters", {L"200", L"400", L"20", L"30", L"", L"", L"abc"}, L""},
        {"deviation 0,5", {L"200", L"400", L"20", L"30", L"", L"", L"0,5"}, L""},
        // Values the run could not work with, though they convert.
        {"deviation nan", {L"200", L"400", L"20", L"30", L"", L"", L"nan"}, app::kBadDeviationMessage},
        {"deviation inf", {L"200", L"400", L"20", L"30", L"", L"", L"inf"}, app::kBadDeviationMessage},
        {"pulses beyond a float",
         {L"1000000000000000000000000000000000000000", L"400", L"20", L"30", L"", L"", L"0.1"},
         app::kBadPulsesMessage},
        {"capacity beyond the pulse counter",
         {L"200", L"10737419", L"20", L"30", L"", L"", L"0.1"},
         app::kBadCapacityMessage},
        {"capacity just inside the counter", {L"200", L"10737418", L"20", L"30", L"", L"", L"0.1"}, L""},
        {"points beyond the grid", {L"200", L"400", L"100001", L"30", L"", L"", L"0.1"}, app::kBadPointsMessage},
        {"points at the bound", {L"200", L"400", L"100000", L"30", L"", L"", L"0.1"}, L""},
        {"timeout beyond a day", {L"200", L"400", L"20", L"86401", L"", L"", L"0.1"}, app::kBadTimeoutMessage},
        // Order: the first field that fails speaks, even when later ones fail too.
        {"pulses before capacity", {L"x", L"x", L"x", L"x", L"50", L"50", L"60"}, app::kBadPulsesMessage},
        {"capacity before points", {L"200", L"x", L"x", L"x", L"50", L"50", L"60"}, app::kBadCapacityMessage},
        {"points before timeout", {L"200", L"400", L"x", L"x", L"50", L"50", L"60"}, app::kBadPointsMessage},
        {"timeout before residual", {L"200", L"400", L"20", L"x", L"50", L"50", L"60"}, app::kBadTimeoutMessage},
        {"residual before deviation", {L"200", L"400", L"20", L"30", L"50", L"50", L"60"}, app::kResidualMessage},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        TMainFormFields fields;
        EXPECT_EQ(app::CheckStartFields(c.texts, fields), std::wstring(c.message));
    }
}

TEST(StartFields, ValuesAreStoredAsTheyAreRead)
{
    TMainFormFields fields;
    fields.FDeviation = 7;
    ASSERT_EQ(app::CheckStartFields({L"12,5", L"400", L"20", L"3", L"100", L"10", L"abc"}, fields), L"");
    EXPECT_FLOAT_EQ(fields.FPulsesPerLitre, 12.5f);
    EXPECT_EQ(fields.FTankCapacity, 400);
    EXPECT_EQ(fields.FPointCount, 20);
    EXPECT_EQ(fields.FSettlingTime, 3);
    EXPECT_EQ(fields.FTankSize, 100);
    EXPECT_EQ(fields.FAllowedResidual, 10);
    EXPECT_FLOAT_EQ(fields.FDeviation, 7) << "letters keep the previous deviation";

    // A failure keeps what was read before it, and leaves the rest alone.
    fields = TMainFormFields{};
    fields.FSettlingTime = 99;
    EXPECT_EQ(app::CheckStartFields({L"150", L"300", L"abc", L"5", L"", L"", L"1"}, fields), app::kBadPointsMessage);
    EXPECT_FLOAT_EQ(fields.FPulsesPerLitre, 150);
    EXPECT_EQ(fields.FTankCapacity, 300);
    EXPECT_EQ(fields.FSettlingTime, 99);

    // Optional fields that are no whole numbers count as not given.
    ASSERT_EQ(app::CheckStartFields({L"200", L"400", L"20", L"30", L"x", L"", L"0,5"}, fields), L"");
    EXPECT_EQ(fields.FTankSize, -1);
    EXPECT_EQ(fields.FAllowedResidual, -1);
    EXPECT_FLOAT_EQ(fields.FDeviation, 0) << "0,5 scans as 0: the comma ends the number";

    const app::TVolumetraParams params = app::MakeVolumetraParams(fields, 0, 5);
    EXPECT_EQ(params.FSensorIndex, 5);
    EXPECT_EQ(params.FPointCount, 20);
    EXPECT_EQ(params.FTankSize, -1);
    EXPECT_TRUE(app::VolumetraParamsUsable(params));
}

TEST(StartFields, DeviationScansWithThePoint)
{
    static constexpr struct {
        const wchar_t* text;
        bool converts;
        float value;
    } kCases[] = {
        {L"0.1", true, 0.1f}, {L"12.5", true, 12.5f}, {L"0,5", true, 0},  {L" 3", true, 3},
        {L"abc", false, 0},   {L"", false, 0},        {L"2abc", true, 2},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(rtl::WideToAnsi(c.text));
        float value = -100;
        EXPECT_EQ(app::ScanDeviation(c.text, value), c.converts);
        if (c.converts)
            EXPECT_FLOAT_EQ(value, c.value);
        else
            EXPECT_FLOAT_EQ(value, -100) << "nothing converted, nothing changed";
    }
}

TEST(KeyFilters, PulsesTakeTheCommaWholeNumbersOnlyDigits)
{
    static constexpr struct {
        wchar_t key;
        bool pulses, whole;
    } kCases[] = {
        {L'0', true, true},   {L'9', true, true},   {8, true, true},      {L',', true, false},  {L'.', false, false},
        {L'-', false, false}, {L'a', false, false}, {L'е', false, false}, {L' ', false, false}, {13, false, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(static_cast<int>(c.key));
        EXPECT_EQ(app::PulsesKeyPasses(c.key), c.pulses);
        EXPECT_EQ(app::WholeNumberKeyPasses(c.key), c.whole);
    }
}

TEST(RunTable, TwentyPointsMakeTwentyFiveNumberedRows)
{
    vcl::TStringGrid grid(nullptr);
    grid.SetColCount(3);
    grid.SetRowCount(4);
    grid.SetFixedRows(3);
    app::SetTableHeadings(grid);
    grid.SetCell(1, 1, L"1,000");
    grid.SetCell(2, 1, L"555");
    grid.SetCell(1, 3, L"old");

    app::PrepareRunTable(grid, 20);
    EXPECT_EQ(grid.RowCount(), 25);
    for (int row = 3; row < 25; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(grid.Cell(0, row), std::to_wstring(row - 3));
        EXPECT_EQ(grid.Cell(1, row), L"");
        EXPECT_EQ(grid.Cell(2, row), L"");
    }
    EXPECT_EQ(grid.Cell(0, 24), L"21");
    EXPECT_EQ(grid.Cell(1, 1), L"") << "the current values are emptied";
    EXPECT_EQ(grid.Cell(2, 1), L"");
    EXPECT_EQ(grid.Cell(1, 0), L"Текущий объём") << "headings stay";
    EXPECT_EQ(grid.Cell(2, 2), L"значение АЦП");

    // A shorter run after a longer one: the rows of the old points are gone,
    // and so is everything the old run wrote.
    grid.SetCell(1, 10, L"140,000");
    app::PrepareRunTable(grid, 2);
    EXPECT_EQ(grid.RowCount(), 7);
    EXPECT_EQ(grid.Cell(0, 6), L"3");
    app::PrepareRunTable(grid, 20);
    EXPECT_EQ(grid.Cell(1, 10), L"");
}

}  // namespace
