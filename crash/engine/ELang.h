// The crash reporter's message texts: the identifiers, their default texts and
// the editor tables (ETypes.h, EConsts.h), the full set of default texts, and
// the character set of the user's code page (UserCharSet, declared among the
// core utilities of ECore.h, which this header brings in).
//
// Any thread, any zone except the hooks (DefaultCustomizedTexts allocates).
#pragma once
#include <string>

#include "crash/engine/ECore.h"
#include "crash/engine/EConsts.h"
#include "crash/engine/ETypes.h"

namespace crash {

// Every text at its default, as a new options object starts.
inline TCustomizedTexts DefaultCustomizedTexts()
{
    TCustomizedTexts texts;
    for (std::size_t i = 0; i < kMessageTypeCount; ++i) texts[i] = std::string(EVals[i]);
    return texts;
}

}  // namespace crash
