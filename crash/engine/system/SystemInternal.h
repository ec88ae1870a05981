// Internals of the system facts: the pure steps under the live services,
// shared by the folder's files and its tests only.
#pragma once
#include <string>

#include "crash/engine/ECore.h"

namespace crash::system {

// A module name cut to start at its drive letter when it holds a "?" (the
// system's internal form, "\??\C:\..."): from the character before the first
// ":" after the "?" on. Unchanged without a "?" or such a ":".
std::string CutInternalPathPrefix(const std::string& name);

// The first of the registered-owner values (in the order they are looked up)
// that is not empty; on Vista and later "Microsoft" counts as empty.
std::string ChooseRegisteredOwner(const std::string (&values)[3], bool vistaOrLater);

// MailDateText with a given offset from UTC, in minutes.
std::string MailDateText(TDateTime value, int offsetMinutes);

}  // namespace crash::system
