// Small text pieces the blocks of this folder share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "crash/engine/EDebugInfo.h"

namespace crash::sections {

// "|label|label|...|" with each label padded to its width.
std::string HeaderRow(const std::string* labels, const std::int32_t* widths, std::size_t count);
// Upper-case hexadecimal, zero-filled to digits.
std::string UpperHex(std::uint32_t value, int digits);
// Unit name without its extension, class and procedure joined by "."; empty
// parts left out.
std::string JoinedProcedureName(const TVexlorDebugInfo& item);

}  // namespace crash::sections
