// Class tests by name, copies of exception objects, the COM error class and
// event redirection.
#include "crash/engine/objects/ObjectsAndWindows.h"

namespace crash {

bool IsObjectOfClass(const void* Object, const std::type_info& Class)
{
    const std::string name = rtl::ClassNameOf(Class);
    return !name.empty() && IsObjectOfClassName(Object, name);
}

bool IsObjectOfAnyClass(const void* Object, std::initializer_list<const std::type_info*> Classes)
{
    for (const std::type_info* type : Classes)
        if (type != nullptr && IsObjectOfClass(Object, *type)) return true;
    return false;
}

bool IsReportableObject(const void* Object)
{
    return IsValidObject(Object) && !IsObjectOfClassName(Object, "EAbort");
}

bool IsLanguageException(const void* Object)
{
    return !IsObjectOfClassName(Object, "EExternal");
}

std::unique_ptr<rtl::TObject> CopyObjectInstance(const void* Object)
{
    // A byte copy would share the original's strings and owned members, which
    // the application frees while the report thread still reads the copy.
    const rtl::TObject* original = rtl::AsValidTObject(Object);
    return original != nullptr ? original->Clone() : nullptr;
}

TActiveXException::TActiveXException(const std::string& ExceptionType, std::string Message)
    : Exception(std::move(Message))
{
    // Lines end at CR, LF or CR LF; a break at the very end opens no line.
    std::size_t start = 0;
    while (start < ExceptionType.size()) {
        const std::size_t end = ExceptionType.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            FParents.push_back(ExceptionType.substr(start));
            break;
        }
        FParents.push_back(ExceptionType.substr(start, end - start));
        start = end + (ExceptionType.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    if (!FParents.empty()) FExceptionType = FParents.front();
}

bool ReplaceMethodProperty(rtl::TObject* Object, std::string_view PropertyName, void* NewCode, void*& OldCode)
{
    OldCode = nullptr;
    auto* component = dynamic_cast<rtl::TComponent*>(Object);
    if (component == nullptr) return false;
    rtl::TMethod* handler = component->EventProperty(PropertyName);
    if (handler == nullptr || handler->Code == NewCode) return false;
    OldCode = handler->Code;
    handler->Code = NewCode;
    return true;
}

}  // namespace crash
