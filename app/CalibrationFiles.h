// The calibration table file and the settings file "Volumetra.ini".
#pragma once
#include <windows.h>

#include <string>

namespace app {

// The main window's controls whose texts the two files read and fill.
enum class TCalibrationText {
    Edit1,       // pulses per litre
    edBak,       // tank capacity
    edColPoint,  // number of points
    markaAvto,   // vehicle make
    numberAvto,  // vehicle number
    markaDut,    // sensor make
    numberDut,   // sensor number
    edTime,      // settling time
    edBoltanie,  // allowed deviation
};

// What the files need of the main window; the window implements it, tests
// use a double. Called on the main thread only.
class CalibrationControls {
public:
    virtual ~CalibrationControls() = default;

    virtual std::wstring Text(TCalibrationText control) const = 0;
    virtual void SetText(TCalibrationText control, const std::wstring& text) = 0;
    // The selected item of cbNumberLLS, 0 to 7.
    virtual int SensorIndex() const = 0;
    virtual void SetSensorIndex(int index) = 0;
    // The result grid sgTableVolumetra as it stands (with the operator's edits).
    virtual int TableRowCount() const = 0;
    virtual std::wstring TableCell(int column, int row) const = 0;
    // A modal message box of the application: caption "Волюметра", OK, no icon.
    virtual void ShowMessage(const std::wstring& text) = 0;
};

// make + "_" + number + "_LLS-" + (sensor index + 1) + "_" + time stamp
// "dd.mmm.yy_hh.mm.ss" (the locale's abbreviated month) + ".txt".
std::wstring TableFileName(const CalibrationControls& controls, const SYSTEMTIME& time);

// The whole table file: four header lines, the column titles, then one line
// per grid row from row 3 on whose litres and ADC cells are both filled; 8-bit
// text of the system code page, every line ended by CR LF.
std::string TableFileText(const CalibrationControls& controls);

// Writes the table file into `folder` (ending in a separator), replacing a
// file of that name. The text goes to a temporary file in the same folder
// first and is moved over the name only when complete, so a failed write
// leaves no truncated table. False when it could not be saved: the operator
// has then been told, in a message naming the file and the system's reason,
// and the grid is untouched. Never raises.
bool SaveTable(CalibrationControls& controls, const std::wstring& folder, const SYSTEMTIME& time);

// folder + "Volumetra.ini".
std::wstring SettingsFileName(const std::wstring& folder);

// Writes the settings of section "SETTINGS": the nine control texts and the
// sensor selection (1 to 8) under "IndexLLS". A refused write raises
// rtl::EIniFileException ("Unable to write to <file>"), for the application's
// exception display; the keys before it are written.
void SaveSettings(const CalibrationControls& controls, const std::wstring& folder);

// Reads the settings into the controls, with the defaults of a first start
// when the file or a key is missing. The stored selection (decimal, or
// hexadecimal after "0x"; a missing key or a word gives 1) selects its sensor
// only when it is 1 to 8; otherwise the selection stays. Never raises.
void LoadSettings(CalibrationControls& controls, const std::wstring& folder);

}  // namespace app
