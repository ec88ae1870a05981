// The calibration table file and the settings file, against a stand-in for
// the main window's controls.
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

#include <gtest/gtest.h>

#include "app/CalibrationFiles.h"
#include "rtl/Handles.h"
#include "rtl/IniFiles.h"
#include "rtl/SysUtils.h"

namespace {

using app::TCalibrationText;

class FakeControls : public app::CalibrationControls {
public:
    FakeControls() : FGrid(4, std::vector<std::wstring>(3)) {}

    std::wstring Text(TCalibrationText control) const override
    {
        const auto found = FTexts.find(control);
        return found == FTexts.end() ? std::wstring() : found->second;
    }
    void SetText(TCalibrationText control, const std::wstring& text) override { FTexts[control] = text; }
    int SensorIndex() const override { return FSensor; }
    void SetSensorIndex(int index) override { FSensor = index; }
    int TableRowCount() const override { return static_cast<int>(FGrid.size()); }
    std::wstring TableCell(int column, int row) const override
    {
        return FGrid.at(static_cast<size_t>(row)).at(static_cast<size_t>(column));
    }
    void ShowMessage(const std::wstring& text) override { FMessages.push_back(text); }

    // A grid as the window shows it after a run: headings in rows 0 and 2.
    void SetRows(const std::vector<std::pair<std::wstring, std::wstring>>& points)
    {
        FGrid.assign(3, std::vector<std::wstring>(3));
        FGrid[0] = {L"", L"Текущий объём", L"Текущ. знач. АЦП"};
        FGrid[2] = {L"№", L"Литры", L"значение АЦП"};
        for (const auto& [litres, adc] : points)
            FGrid.push_back({rtl::IntToStr(static_cast<int>(FGrid.size()) - 3), litres, adc});
        FGrid.push_back({rtl::IntToStr(static_cast<int>(FGrid.size()) - 3), L"", L""});
    }

    std::map<TCalibrationText, std::wstring> FTexts;
    int FSensor = 0;
    std::vector<std::vector<std::wstring>> FGrid;
    std::vector<std::wstring> FMessages;
};

// Tuesday, 8 December 2026, 07:05:33.
constexpr SYSTEMTIME kTime = {2026, 12, 2, 8, 7, 5, 33, 0};

std::wstring December()
{
    wchar_t name[32] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SABBREVMONTHNAME12, name, 32);
    return name;
}

class CalibrationFilesTest : public testing::Test {
protected:
    void SetUp() override
    {
        wchar_t out[MAX_PATH] = {};
        ASSERT_GT(GetEnvironmentVariableW(L"VOLUMETRA_TEST_OUT", out, MAX_PATH), 0u);
        FFolder = std::wstring(out) + L"\\" +
                  rtl::AnsiToWide(testing::UnitTest::GetInstance()->current_test_info()->name()) + L"\\";
        CreateDirectoryW(FFolder.c_str(), nullptr);
        for (const std::wstring& name : Files()) DeleteFileW((FFolder + name).c_str());
        FControls.SetText(TCalibrationText::markaAvto, L"Газель");
        FControls.SetText(TCalibrationText::numberAvto, L"А123ВС");
        FControls.SetText(TCalibrationText::markaDut, L"Омникомм");
        FControls.SetText(TCalibrationText::numberDut, L"7781");
    }
    void TearDown() override { WritePrivateProfileStringW(nullptr, nullptr, nullptr, SettingsPath().c_str()); }

    std::vector<std::wstring> Files() const
    {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW data;
        const rtl::FindHandle find(FindFirstFileW((FFolder + L"*").c_str(), &data));
        if (!find) return names;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
        } while (FindNextFileW(find.Get(), &data));
        return names;
    }
    static std::string Bytes(const std::wstring& path)
    {
        std::ifstream file(rtl::WideToAnsi(path), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    std::wstring SettingsPath() const { return app::SettingsFileName(FFolder); }

    std::wstring FFolder;
    FakeControls FControls;
};

constexpr char kHeader[] = "Марка автомобиля: Газель\r\n"
                           "Номер автомобиля: А123ВС\r\n"
                           "Марка ДУТа: Омникомм\r\n"
                           "Номер ДУТа: 7781\r\n"
                           "Литры\tЗначение АЦП\r\n";

// The literals of this file are UTF-8; the files hold code page 1251.
std::string Ansi(const char* utf8)
{
    wchar_t wide[512] = {};
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    return rtl::WideToAnsi(wide);
}

TEST_F(CalibrationFilesTest, FileNameFromVehicleSensorAndTime)
{
    EXPECT_EQ(app::TableFileName(FControls, kTime), L"Газель_А123ВС_LLS-1_08." + December() + L".26_07.05.33.txt");
    FControls.SetText(TCalibrationText::markaAvto, L"");
    FControls.SetText(TCalibrationText::numberAvto, L"");
    FControls.SetSensorIndex(7);
    EXPECT_EQ(app::TableFileName(FControls, kTime).rfind(L"__LLS-8_08.", 0), 0u);
}

TEST_F(CalibrationFilesTest, TableTextIsHeaderThenFilledRows)
{
    ASSERT_EQ(GetACP(), 1251u);
    // Before any run the grid has no point with both cells: header only.
    EXPECT_EQ(app::TableFileText(FControls), Ansi(kHeader));

    FControls.SetRows({
        {L"0", L"512"},  // the start point
        {L"20,000", L"1034"},
        {L"40,015", L""},    // ADC emptied by the operator: left out
        {L"", L"2011"},      // litres emptied: left out
        {L"80,5", L"3000"},  // typed by hand, kept as typed
    });
    const std::string text = app::TableFileText(FControls);
    EXPECT_EQ(text, Ansi(kHeader) + "0\t512\r\n20,000\t1034\r\n80,5\t3000\r\n");
    // Code page 1251 bytes, no byte-order mark: "М" is 0xCC.
    EXPECT_EQ(static_cast<unsigned char>(text[0]), 0xCCu);
}

TEST_F(CalibrationFilesTest, SaveReplacesTheFileOfTheSameSecond)
{
    FControls.SetRows({{L"0", L"512"}});
    ASSERT_TRUE(app::SaveTable(FControls, FFolder, kTime));
    FControls.SetRows({{L"0", L"512"}, {L"20,000", L"1034"}});
    ASSERT_TRUE(app::SaveTable(FControls, FFolder, kTime));
    EXPECT_TRUE(FControls.FMessages.empty());

    const std::wstring name = app::TableFileName(FControls, kTime);
    EXPECT_EQ(Files(), std::vector<std::wstring>{name}) << "one file, no temporary left over";
    EXPECT_EQ(Bytes(FFolder + name), Ansi(kHeader) + "0\t512\r\n20,000\t1034\r\n");
}

TEST_F(CalibrationFilesTest, UnwritableTableFileIsReportedAndLeavesNothing)
{
    static constexpr struct {
        const wchar_t* number;
        const wchar_t* subfolder;  // appended to the scratch folder
        DWORD error;
    } kCases[] = {
        {L"АВ/12", L"", ERROR_PATH_NOT_FOUND},  // "/" in the vehicle number
        {L"А123ВС", L"no-such-folder\\", ERROR_DIRECTORY},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(rtl::WideToAnsi(c.number));
        FControls.FMessages.clear();
        FControls.SetText(TCalibrationText::numberAvto, c.number);
        const std::wstring folder = FFolder + c.subfolder;
        EXPECT_FALSE(app::SaveTable(FControls, folder, kTime));
        ASSERT_EQ(FControls.FMessages.size(), 1u);
        const std::wstring& message = FControls.FMessages[0];
        EXPECT_NE(message.find(folder + app::TableFileName(FControls, kTime)), std::wstring::npos)
            << rtl::WideToAnsi(message);
        EXPECT_NE(message.find(rtl::SysErrorMessage(c.error)), std::wstring::npos) << rtl::WideToAnsi(message);
        EXPECT_TRUE(Files().empty());
    }
}

TEST_F(CalibrationFilesTest, FailedReplaceKeepsThePreviousFile)
{
    // A folder in the file's place makes the final move fail after the text
    // was written: the temporary file must go, the folder must stay.
    const std::wstring target = FFolder + app::TableFileName(FControls, kTime);
    ASSERT_TRUE(CreateDirectoryW(target.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(app::SaveTable(FControls, FFolder, kTime));
    EXPECT_EQ(FControls.FMessages.size(), 1u);
    EXPECT_TRUE(Files().empty());
    EXPECT_TRUE(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryW(target.c_str());
}

TEST_F(CalibrationFilesTest, SettingsRoundTripInKeyOrder)
{
    static constexpr struct {
        TCalibrationText control;
        const wchar_t* text;
    } kTexts[] = {
        {TCalibrationText::Edit1, L"12,5"},        {TCalibrationText::edBak, L"600"},
        {TCalibrationText::edColPoint, L"30"},     {TCalibrationText::markaAvto, L"КамАЗ"},
        {TCalibrationText::numberAvto, L"Е001КХ"}, {TCalibrationText::markaDut, L"ДУТ-Э"},
        {TCalibrationText::numberDut, L"3"},       {TCalibrationText::edTime, L"45"},
        {TCalibrationText::edBoltanie, L"0.5"},
    };
    // The sensor number "3" looks like a selection and must not become one.
    for (const auto& t : kTexts) FControls.SetText(t.control, t.text);
    FControls.SetSensorIndex(5);
    app::SaveSettings(FControls, FFolder);

    FakeControls loaded;
    loaded.FSensor = 0;
    app::LoadSettings(loaded, FFolder);
    for (const auto& t : kTexts) {
        SCOPED_TRACE(static_cast<int>(t.control));
        EXPECT_EQ(loaded.Text(t.control), t.text);
    }
    EXPECT_EQ(loaded.SensorIndex(), 5);

    const std::string bytes = Bytes(SettingsPath());
    size_t position = bytes.find("[SETTINGS]");
    ASSERT_NE(position, std::string::npos);
    for (const char* key : {"Impuls=12,5", "VBak=600", "LitrPoint=30", "IndexLLS=6",
                            "marka=", "number=", "markaLLS=", "numberLLS=3\r\n", "Timeout=45", "boltanie=0.5"}) {
        SCOPED_TRACE(key);
        const size_t next = bytes.find(key, position);
        ASSERT_NE(next, std::string::npos);
        position = next;
    }
    EXPECT_NE(bytes.find(Ansi("marka=КамАЗ")), std::string::npos);
}

TEST_F(CalibrationFilesTest, MissingFileGivesFirstStartDefaults)
{
    FControls.SetSensorIndex(4);
    app::LoadSettings(FControls, FFolder);
    static constexpr struct {
        TCalibrationText control;
        const wchar_t* text;
    } kDefaults[] = {
        {TCalibrationText::Edit1, L"200"},  {TCalibrationText::edBak, L"400"},   {TCalibrationText::edColPoint, L"20"},
        {TCalibrationText::markaAvto, L""}, {TCalibrationText::numberAvto, L""}, {TCalibrationText::markaDut, L""},
        {TCalibrationText::numberDut, L""}, {TCalibrationText::edTime, L"1"},    {TCalibrationText::edBoltanie, L"0.1"},
    };
    for (const auto& d : kDefaults) {
        SCOPED_TRACE(static_cast<int>(d.control));
        EXPECT_EQ(FControls.Text(d.control), d.text);
    }
    EXPECT_EQ(FControls.SensorIndex(), 0);
}

TEST_F(CalibrationFilesTest, StoredSelectionSelectsOnlyOneToEight)
{
    static constexpr struct {
        const wchar_t* stored;
        int index;  // the selection after loading; it starts at 4
    } kCases[] = {
        {L"1", 0}, {L"8", 7},  {L"0x3", 2},  {L"9", 4},
        {L"0", 4}, {L"-1", 4}, {L"word", 0},  // not a number: the default 1
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(rtl::WideToAnsi(c.stored));
        ASSERT_TRUE(WritePrivateProfileStringW(L"SETTINGS", L"IndexLLS", c.stored, SettingsPath().c_str()));
        FControls.SetSensorIndex(4);
        app::LoadSettings(FControls, FFolder);
        EXPECT_EQ(FControls.SensorIndex(), c.index);
    }
}

TEST_F(CalibrationFilesTest, FileOfEarlierVersionsKeepsTheSensorNumber)
{
    // Earlier files hold only "NumberLLS", and it holds the sensor number.
    const std::string earlier = "[SETTINGS]\r\nImpuls=200\r\nNumberLLS=5\r\nTimeout=30\r\n";
    std::ofstream(rtl::WideToAnsi(SettingsPath()), std::ios::binary) << earlier;
    FControls.SetSensorIndex(2);
    app::LoadSettings(FControls, FFolder);
    EXPECT_EQ(FControls.Text(TCalibrationText::numberDut), L"5");
    EXPECT_EQ(FControls.SensorIndex(), 0) << "the sensor number is no selection";
    EXPECT_EQ(FControls.Text(TCalibrationText::edTime), L"30");
}

TEST_F(CalibrationFilesTest, PresentEmptyValueIsEmptyText)
{
    ASSERT_TRUE(WritePrivateProfileStringW(L"SETTINGS", L"Timeout", L"", SettingsPath().c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"SETTINGS", L"Impuls", L"", SettingsPath().c_str()));
    app::LoadSettings(FControls, FFolder);
    EXPECT_EQ(FControls.Text(TCalibrationText::edTime), L"");
    EXPECT_EQ(FControls.Text(TCalibrationText::Edit1), L"");
    EXPECT_EQ(FControls.Text(TCalibrationText::edBak), L"400");
}

TEST_F(CalibrationFilesTest, RefusedSettingsWriteRaises)
{
    const std::wstring folder = FFolder + L"no-such-folder\\";
    try {
        app::SaveSettings(FControls, folder);
        FAIL() << "the write was not refused";
    } catch (const rtl::EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + rtl::WideToAnsi(app::SettingsFileName(folder)));
    }
}

}  // namespace
