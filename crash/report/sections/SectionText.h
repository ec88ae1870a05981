// Small text pieces the blocks of this folder share.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "crash/engine/EDebugInfo.h"

namespace crash::sections {

// "|label|label|...|" with each label padded to its width.
std::string HeaderRow(const std::string* Labels, const std::int32_t* Widths, std::size_t Count);
// Upper-case hexadecimal, zero-filled to Digits.
std::string UpperHex(std::uint32_t Value, int Digits);
// Unit name without its extension, class and procedure joined by "."; empty
// parts left out.
std::string JoinedProcedureName(const TVexlorDebugInfo& Item);

}  // namespace crash::sections
