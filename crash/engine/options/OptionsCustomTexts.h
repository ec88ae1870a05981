// The customised texts file: multi-line texts in an INI file, one key per
// line, and the INI helpers that store them.
//
// A File without folder lies in the library's default folder (ReadString and
// WriteString of ECore.h). Nothing here raises for a file: a missing file or
// key gives the default, a key that cannot be written is a warning.
// Threads: any; the profile functions serialise access to the file.
// Zone: ordinary code (allocates).
#pragma once
#include <string>

namespace crash {

// The section of the customised texts file.
inline constexpr const char* kCustomizedTextsSection = "Exception Log";

// text split into lines (CR LF, CR or LF; a final break ends the last line):
// countKey holds the number of lines, keyPrefix followed by 0, 1, ... each
// line between double quotes, which keep its blanks. False when a key could
// not be written.
bool WriteRawStrings(const std::string& file, const std::string& section, const std::string& countKey,
                     const std::string& text, const std::string& keyPrefix);

// The lines written by WriteRawStrings, joined by CR LF without a final one.
// A count below 1 gives defaultText; a missing line key gives defaultText in its
// place. The profile functions take off the quotes of a line; nothing more is
// taken, so a line that begins and ends with a quote of its own keeps them.
void ReadRawStrings(const std::string& file, const std::string& section, const std::string& countKey,
                    std::string& result, const std::string& defaultText, const std::string& keyPrefix);

}  // namespace crash
