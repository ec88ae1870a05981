// The class and message texts of the exception being reported.
#include <cstdio>
#include <exception>
#include <typeinfo>

#include "crash/engine/ExceptionLog.h"
#include "crash/report/collectors/CollectorsInternal.h"
#include "rtl/Libraries.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

struct TCurrentTexts {
    std::string FClass;
    std::string FMessage;
};

TCurrentTexts& CurrentTexts()
{
    static TCurrentTexts texts;
    return texts;
}

std::string HexAddress(ULONG_PTR address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(address));
    return text;
}

// The object as the class it is named after, when its class or a parent has
// that name: names, not identities, so that a copy of the class compiled into
// another module counts too. Those classes derive from TObject alone, so the
// TObject part starts the object.
template <class T>
const T* AsClassNamed(const void* object, std::string_view name)
{
    if (!IsObjectOfClassName(object, name)) return nullptr;
    const rtl::TObject* valid = rtl::AsValidTObject(object);
    return valid != nullptr ? static_cast<const T*>(valid) : nullptr;
}

// The what() of a standard library exception, asked as a handler of
// std::exception would ask, which also finds the std::exception part.
bool StandardExceptionText(const void* object, std::string& text)
{
    const std::type_info* type = rtl::ObjectTypeInfo(object);
    if (type == nullptr) return false;
    void* adjusted = const_cast<void*>(object);
    if (!typeid(std::exception).__do_catch(type, &adjusted, 1)) return false;
    text = static_cast<const std::exception*>(adjusted)->what();
    return true;
}

// The module whose image holds the committed memory at address: its file
// name, or empty.
std::string CommittedModuleName(const void* address)
{
    MEMORY_BASIC_INFORMATION region = {};
    if (::VirtualQuery(address, &region, sizeof region) != sizeof region || region.State != MEM_COMMIT) return {};
    return rtl::ModuleFileNameAnsi(static_cast<HMODULE>(region.AllocationBase));
}

std::string RebuiltAccessViolation(const rtl::EAccessViolation& violation, const EXCEPTION_RECORD* systemRecord)
{
    const EXCEPTION_RECORD* record = systemRecord != nullptr && IsValidBlockAddr(systemRecord, sizeof *systemRecord)
                                         ? systemRecord
                                         : &violation.ExceptionRecord();
    if (record->NumberParameters < 2) return violation.Message();
    const ULONG_PTR kind = record->ExceptionInformation[0];
    const ULONG_PTR accessed = record->ExceptionInformation[1];
    const std::string moduleName = CommittedModuleName(record->ExceptionAddress);
    std::string text = AccessViolationMessage(record->ExceptionAddress, kind, accessed, ExtractFileName(moduleName));
    if (!moduleName.empty() && text == violation.Message())
        text = AccessViolationMessage(record->ExceptionAddress, kind, accessed,
                                      ExtractFileName(GetLongNameFromShort(moduleName)));
    return text;
}

}  // namespace

std::string AccessViolationMessage(const void* exceptionAddress, ULONG_PTR accessKind, ULONG_PTR accessedAddress,
                                   const std::string& moduleName)
{
    const std::string address = HexAddress(reinterpret_cast<ULONG_PTR>(exceptionAddress));
    // An execution of data memory (8) is no write: it gets the runtime's own
    // word for it.
    const char* word = accessKind == 0 ? "Read" : accessKind == 8 ? "Execution" : "Write";
    std::string text = "Access violation at address " + address;
    if (!moduleName.empty()) text += " in module '" + moduleName + "'";
    return text + ". " + word + " of address " + HexAddress(accessedAddress);
}

std::string ExceptionClassText(const void* object)
{
    std::string text;
    if (!IsValidObject(object))
        text = "Unknown exception type";
    else if (const auto* activeX = AsClassNamed<TActiveXException>(object, "TActiveXException"))
        text = activeX->ExceptionType();
    else
        text = SafeClassName(object);
    SetCurrentCodePage(text);
    CurrentTexts().FClass = text;
    return text;
}

std::string ExceptionMessageText(const void* object, const EXCEPTION_RECORD* systemRecord)
{
    std::string text;
    if (const auto* violation = AsClassNamed<rtl::EAccessViolation>(object, "EAccessViolation"))
        text = RebuiltAccessViolation(*violation, systemRecord);
    else if (const auto* exception = AsClassNamed<rtl::Exception>(object, "Exception"))
        text = exception->Message();
    else if (!StandardExceptionText(object, text))
        text = "Unknown error message";
    SetCurrentCodePage(text);
    if (!text.ends_with('.')) text += '.';
    CurrentTexts().FMessage = text;
    return text;
}

std::string CleanMessageText(const std::string& text)
{
    std::string cleaned = text;
    for (char& c : cleaned) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 && c != '\r' && c != '\n') c = ' ';
    }
    return cleaned;
}

void collectors::StoreCurrentExceptionClass(const std::string& text)
{
    CurrentTexts().FClass = text;
}

void collectors::StoreCurrentExceptionMessage(const std::string& text)
{
    CurrentTexts().FMessage = text;
}

std::string CurrentExceptionClass()
{
    return CurrentTexts().FClass;
}

std::string CurrentExceptionMessage()
{
    return CurrentTexts().FMessage;
}

}  // namespace crash
