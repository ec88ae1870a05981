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

std::string HexAddress(ULONG_PTR Address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(Address));
    return text;
}

// The object as the class it is named after, when its class or a parent has
// that name: names, not identities, so that a copy of the class compiled into
// another module counts too. Those classes derive from TObject alone, so the
// TObject part starts the object.
template <class T>
const T* AsClassNamed(const void* Object, std::string_view Name)
{
    if (!IsObjectOfClassName(Object, Name)) return nullptr;
    const rtl::TObject* object = rtl::AsValidTObject(Object);
    return object != nullptr ? static_cast<const T*>(object) : nullptr;
}

// The what() of a standard library exception, asked as a handler of
// std::exception would ask, which also finds the std::exception part.
bool StandardExceptionText(const void* Object, std::string& Text)
{
    const std::type_info* type = rtl::ObjectTypeInfo(Object);
    if (type == nullptr) return false;
    void* adjusted = const_cast<void*>(Object);
    if (!typeid(std::exception).__do_catch(type, &adjusted, 1)) return false;
    Text = static_cast<const std::exception*>(adjusted)->what();
    return true;
}

// The module whose image holds the committed memory at Address: its file
// name, or empty.
std::string CommittedModuleName(const void* Address)
{
    MEMORY_BASIC_INFORMATION region = {};
    if (::VirtualQuery(Address, &region, sizeof region) != sizeof region || region.State != MEM_COMMIT) return {};
    return rtl::ModuleFileNameAnsi(static_cast<HMODULE>(region.AllocationBase));
}

std::string RebuiltAccessViolation(const rtl::EAccessViolation& Violation, const EXCEPTION_RECORD* SystemRecord)
{
    const EXCEPTION_RECORD* record = SystemRecord != nullptr && IsValidBlockAddr(SystemRecord, sizeof *SystemRecord)
                                         ? SystemRecord
                                         : &Violation.ExceptionRecord();
    if (record->NumberParameters < 2) return Violation.Message();
    const ULONG_PTR kind = record->ExceptionInformation[0];
    const ULONG_PTR accessed = record->ExceptionInformation[1];
    const std::string moduleName = CommittedModuleName(record->ExceptionAddress);
    std::string text = AccessViolationMessage(record->ExceptionAddress, kind, accessed, ExtractFileName(moduleName));
    if (!moduleName.empty() && text == Violation.Message())
        text = AccessViolationMessage(record->ExceptionAddress, kind, accessed,
                                      ExtractFileName(GetLongNameFromShort(moduleName)));
    return text;
}

}  // namespace

std::string AccessViolationMessage(const void* ExceptionAddress, ULONG_PTR AccessKind, ULONG_PTR AccessedAddress,
                                   const std::string& ModuleName)
{
    const std::string address = HexAddress(reinterpret_cast<ULONG_PTR>(ExceptionAddress));
    // An execution of data memory (8) is no write: it gets the runtime's own
    // word for it.
    const char* word = AccessKind == 0 ? "Read" : AccessKind == 8 ? "Execution" : "Write";
    std::string text = "Access violation at address " + address;
    if (!ModuleName.empty()) text += " in module '" + ModuleName + "'";
    return text + ". " + word + " of address " + HexAddress(AccessedAddress);
}

std::string ExceptionClassText(const void* Object)
{
    std::string text;
    if (!IsValidObject(Object))
        text = "Unknown exception type";
    else if (const auto* activeX = AsClassNamed<TActiveXException>(Object, "TActiveXException"))
        text = activeX->ExceptionType();
    else
        text = SafeClassName(Object);
    SetCurrentCodePage(text);
    CurrentTexts().FClass = text;
    return text;
}

std::string ExceptionMessageText(const void* Object, const EXCEPTION_RECORD* SystemRecord)
{
    std::string text;
    if (const auto* violation = AsClassNamed<rtl::EAccessViolation>(Object, "EAccessViolation"))
        text = RebuiltAccessViolation(*violation, SystemRecord);
    else if (const auto* exception = AsClassNamed<rtl::Exception>(Object, "Exception"))
        text = exception->Message();
    else if (!StandardExceptionText(Object, text))
        text = "Unknown error message";
    SetCurrentCodePage(text);
    if (!text.ends_with('.')) text += '.';
    CurrentTexts().FMessage = text;
    return text;
}

std::string CleanMessageText(const std::string& Text)
{
    std::string text = Text;
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 && c != '\r' && c != '\n') c = ' ';
    }
    return text;
}

void collectors::StoreCurrentExceptionClass(const std::string& Text)
{
    CurrentTexts().FClass = Text;
}

void collectors::StoreCurrentExceptionMessage(const std::string& Text)
{
    CurrentTexts().FMessage = Text;
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
