// Class tests by name, copies of exception objects, the COM error class and
// event redirection.
#include "crash/engine/objects/ObjectsAndWindows.h"

namespace crash {

bool IsObjectOfClass(const void* object, const std::type_info& classType)
{
    const std::string name = rtl::ClassNameOf(classType);
    return !name.empty() && IsObjectOfClassName(object, name);
}

bool IsObjectOfAnyClass(const void* object, std::initializer_list<const std::type_info*> classes)
{
    for (const std::type_info* type : classes)
        if (type != nullptr && IsObjectOfClass(object, *type)) return true;
    return false;
}

bool IsReportableObject(const void* object)
{
    return IsValidObject(object) && !IsObjectOfClassName(object, "EAbort");
}

bool IsLanguageException(const void* object)
{
    return !IsObjectOfClassName(object, "EExternal");
}

std::unique_ptr<rtl::TObject> CopyObjectInstance(const void* object)
{
    // A byte copy would share the original's strings and owned members, which
    // the application frees while the report thread still reads the copy.
    const rtl::TObject* original = rtl::AsValidTObject(object);
    return original != nullptr ? original->Clone() : nullptr;
}

TActiveXException::TActiveXException(const std::string& exceptionType, std::string message)
    : Exception(std::move(message))
{
    // Lines end at CR, LF or CR LF; a break at the very end opens no line.
    std::size_t start = 0;
    while (start < exceptionType.size()) {
        const std::size_t end = exceptionType.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            FParents.push_back(exceptionType.substr(start));
            break;
        }
        FParents.push_back(exceptionType.substr(start, end - start));
        start = end + (exceptionType.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    if (!FParents.empty()) FExceptionType = FParents.front();
}

bool ReplaceMethodProperty(rtl::TObject* object, std::string_view propertyName, void* newCode, void*& oldCode)
{
    oldCode = nullptr;
    auto* component = dynamic_cast<rtl::TComponent*>(object);
    if (component == nullptr) return false;
    rtl::TMethod* handler = component->EventProperty(propertyName);
    if (handler == nullptr || handler->Code == newCode) return false;
    oldCode = handler->Code;
    handler->Code = newCode;
    return true;
}

}  // namespace crash
