// The framework hooks' install and removal, the application object's two
// replacements, and the detour installers by symbol id and by export.
#include "crash/engine/framework/FrameworkHooks.h"

#include <atomic>
#include <string>
#include <vector>

#include "crash/engine/EDebugData.h"
#include "crash/engine/EHook.h"
#include "crash/engine/EOptions.h"
#include "crash/engine/api/PublicInterface.h"
#include "crash/engine/capture/RaiseState.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/framework/FrameworkInternal.h"
#include "rtl/Classes.h"
#include "rtl/ExceptHooks.h"
#include "rtl/SysUtils.h"

namespace crash {

namespace {

std::atomic<bool> gInstalled{false};

// The class library's package, whose application and service routines the
// hooks would take; here the class library is linked in and offers hook
// points instead.
constexpr char kClassLibraryPackage[] = "VCL140.BPL";

// The frameworks looked for. None of their packages exists in this process,
// and a detour needs a replacement that speaks the routine's own calling
// convention, which this build cannot: a package found is noted, not hooked.
std::vector<TFrameworkProbe> gProbes;

TFrameworkProbe Probe(const char* routine, const char* package, int symbolId)
{
    TFrameworkProbe probe{routine, package, symbolId, false, false};
    // Looked for among the loaded modules only: a LoadLibrary would load
    // whatever file of that name the search path offers.
    if (package != nullptr) probe.Loaded = ::GetModuleHandleA(package) != nullptr;
    if (symbolId >= 0) probe.SymbolPresent = FindVexlorSymbol(static_cast<std::uint8_t>(symbolId)) != nullptr;
    return probe;
}

// The first IntraWeb package loaded, from its 10th release name to its 399th.
bool AnyIntraWebPackageLoaded()
{
    for (int n = 10; n <= 399; ++n) {
        const std::string name = "Intraweb_" + std::to_string(n) + "_140.bpl";
        if (::GetModuleHandleA(name.c_str()) != nullptr) return true;
    }
    return false;
}

void ProbeFrameworks()
{
    gProbes.clear();
    gProbes.push_back(Probe("@Qforms@TApplication@HandleException$qqrp14System@TObject", nullptr, 2));
    gProbes.push_back(Probe("@Qforms@TApplication@ShowException$qqrp18Sysutils@Exception", nullptr, 3));
    gProbes.push_back(Probe("web exception handler (row 4)", nullptr, 4));
    gProbes.push_back(Probe("web exception handler (row 5)", nullptr, 5));
    TFrameworkProbe intraWeb = Probe(
        "@Iwservercontrollerbase@TIWServerControllerBase@$bctr$qqrp18Classes@TComponent", "Intraweb_N_140.bpl", 6);
    intraWeb.Loaded = AnyIntraWebPackageLoaded();
    gProbes.push_back(intraWeb);
    TFrameworkProbe showMessage = Probe(
        "@Iwapplication@TIWApplication@ShowMessage$qqr20System@UnicodeStringx26Iwtypes@TIWShowMessageTypet1",
        "Intraweb_N_140.bpl", 7);
    showMessage.Loaded = intraWeb.Loaded;
    gProbes.push_back(showMessage);
    gProbes.push_back(Probe("web response sender (row 8)", nullptr, 8));
    gProbes.push_back(Probe("@Svcmgr@TService@LogMessage$qqr20System@UnicodeStringuiii", kClassLibraryPackage, 9));
    TFrameworkProbe indy = Probe("@Idthread@TIdThread@DoException$qqrp18Sysutils@Exception", "INDY140.BPL", 10);
    if (!indy.Loaded && ::GetModuleHandleA("INDYCORE140.BPL") != nullptr) {
        indy.Package = "INDYCORE140.BPL";
        indy.Loaded = true;
    }
    gProbes.push_back(indy);
}

// The adjusted TObject of a thrown object of that type, or null for an
// object of no class of ours.
rtl::TObject* OurObject(void* object, const std::type_info* type) noexcept
{
    if (object == nullptr || type == nullptr) return nullptr;
    void* adjusted = object;
    if (!typeid(rtl::TObject).__do_catch(type, &adjusted, 1)) return nullptr;
    return static_cast<rtl::TObject*>(adjusted);
}

// The application object's exception: its object (a TObject adjusted, else
// the C++ object) and its raise address.
void ExceptionOf(const std::exception_ptr& error, void*& object, void*& address) noexcept
{
    void* raw = rtl::ExceptionPtrObject(error);
    const std::type_info* type = error ? error.__cxa_exception_type() : nullptr;
    rtl::TObject* ours = OurObject(raw, type);
    object = ours != nullptr ? static_cast<void*>(ours) : raw;
    address = RaiseAddressOf(raw, ours);
}

bool AskExceptionManager(const std::exception_ptr& error)
{
    if (!error || IsMainThreadCallRunning()) return true;
    void* object = nullptr;
    void* address = nullptr;
    ExceptionOf(error, object, address);
    return ExceptionManager(object, address, rtLocal, LibraryModuleHandle());
}

}  // namespace

void* RaiseAddressOf(void* object, const rtl::TObject* ours) noexcept
{
    if (object == nullptr) return nullptr;
    if (ours != nullptr) {
        if (const auto* exception = dynamic_cast<const rtl::Exception*>(ours)) {
            if (exception->RaiseAddress() != nullptr) return exception->RaiseAddress();
        }
    }
    const TThreadRaiseState* state = ThreadRaiseState();
    return state != nullptr && state->LastLanguageObject == object ? state->LastLanguageAddress : nullptr;
}

// ---- Detour installers ----

void* HookBySymbolId(std::uint8_t id, void* replacement)
{
    void* routine = FindVexlorSymbol(id);
    if (routine == nullptr) return nullptr;
    return HookProcedureEx(routine, replacement, "SymbolID = " + std::to_string(id));
}

void* HookByExport(void* address, const std::string& moduleName, const std::string& exportName, void* replacement)
{
    void* routine = address;
    if (routine == nullptr) {
        const HMODULE module = ::GetModuleHandleA(moduleName.c_str());
        if (module == nullptr) return nullptr;
        routine = reinterpret_cast<void*>(::GetProcAddress(module, exportName.c_str()));
        if (routine == nullptr) return nullptr;
    }
    if (replacement == nullptr) return routine;
    return HookProcedureEx(routine, replacement, exportName);
}

// ---- The application object ----

bool FrameworkHandleException(std::exception_ptr error)
{
    return AskExceptionManager(error);
}

bool FrameworkShowException(std::exception_ptr error)
{
    // Inside HandleException the exception was offered to its hook already.
    if (rtl::IsInsideHandleException()) return true;
    return AskExceptionManager(error);
}

// ---- Install and removal ----

void InstallFrameworkHooks() noexcept
{
    if (gInstalled.exchange(true)) return;
    try {
        ProbeFrameworks();
    } catch (...) {
        gProbes.clear();
    }
    rtl::HandleExceptionHook.store(&FrameworkHandleException);
    rtl::ShowExceptionHook.store(&FrameworkShowException);
    rtl::EndCatchHook.store(&CatchHandledException);
}

void RemoveFrameworkHooks() noexcept
{
    if (!gInstalled.exchange(false)) return;
    rtl::TEndCatchHook endCatch = &CatchHandledException;
    rtl::EndCatchHook.compare_exchange_strong(endCatch, nullptr);
    rtl::TApplicationExceptionHook show = &FrameworkShowException;
    rtl::ShowExceptionHook.compare_exchange_strong(show, nullptr);
    rtl::TApplicationExceptionHook handle = &FrameworkHandleException;
    rtl::HandleExceptionHook.compare_exchange_strong(handle, nullptr);
}

bool FrameworkHooksInstalled() noexcept
{
    return gInstalled.load();
}

const TFrameworkProbe* FrameworkProbes(int& count) noexcept
{
    count = static_cast<int>(gProbes.size());
    return gProbes.empty() ? nullptr : gProbes.data();
}

}  // namespace crash
