// Module file names.
#include "rtl/Libraries.h"

namespace rtl {
namespace {

// GetModuleFileName cuts a name that does not fit and answers the buffer's
// size; only a shorter answer is the whole name.
template <class Char, class Query>
std::basic_string<Char> WholeModuleFileName(HMODULE module, Query query)
{
    std::basic_string<Char> name(MAX_PATH, Char());
    // Names of the system's kind end at 32767 characters; beyond that the
    // answer cannot grow any more.
    while (name.size() <= 65536) {
        const DWORD length = query(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        name.resize(name.size() * 2);
    }
    return {};
}

}  // namespace

std::wstring ModuleFileName(HMODULE module)
{
    return WholeModuleFileName<wchar_t>(module, &::GetModuleFileNameW);
}

std::string ModuleFileNameAnsi(HMODULE module)
{
    return WholeModuleFileName<char>(module, &::GetModuleFileNameA);
}

}  // namespace rtl
