// Internals of the header collectors: the separate reading paths of the video
// card, shared by the folder's files and its tests only.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "crash/report/collectors/HeaderCollectors.h"

namespace crash::collectors {

// ---- Exception texts ------------------------------------------------------------------

// Makes the text the current exception class text, as ExceptionClassText does.
void StoreCurrentExceptionClass(const std::string& text);
void StoreCurrentExceptionMessage(const std::string& text);

// ---- Video card ----------------------------------------------------------------------

// The text with every zero byte removed (a UTF-16 adapter string stored as
// binary becomes its 8-bit letters).
std::string WithoutZeroBytes(const std::string& bytes);
// The memory key a "\Device\Video0" value of the video device map names,
// cut to begin at its "\SYSTEM" part (found without case); empty when there
// is none. ...OfDeviceMap reads the machine's value.
std::string VideoMemoryKeyOf(const std::string& deviceMapValue);
std::string VideoMemoryKeyOfDeviceMap();
// The first display device on the NT line: the device key is the first subkey
// of the device id's key under the enumeration tree.
TVideoCardFacts VideoFactsOfDeviceNT(const std::string& deviceString, const std::string& deviceId);
// The first display device on the 9x line, whose device key is given.
TVideoCardFacts VideoFactsOfDevice9x(const std::string& deviceString, const std::string& deviceKey);
// Without the display-device enumeration, NT line: the device map's key.
TVideoCardFacts VideoFactsOfDeviceMap();
// The facts of one video key (memory, adapter string, the driver's file
// version through the parent key's ImagePath).
TVideoCardFacts VideoFactsOfVideoKey(const std::string& memoryKey);
// Without it, 9x line: the last subkey of the display class ("0000" when none).
TVideoCardFacts VideoFactsOfDisplayClass();

}  // namespace crash::collectors
