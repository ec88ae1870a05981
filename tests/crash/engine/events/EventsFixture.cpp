// A library with its own copy of the crash reporter's engine, as a plug-in of
// the program would carry one: it exports the event entries (the engine's
// .def, or a shorter one) and has one TVexlorLog and one procedure variable
// whose handlers tell the test what they saw, through the test's callback.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

#include "crash/engine/EOptions.h"
#include "crash/engine/events/ExceptionEvents.h"
#include "crash/engine/modules/ModuleLists.h"
#include "rtl/Libraries.h"
#include "rtl/System.h"

namespace {

using namespace crash;

using TNote = void (*)(const char* line);
TNote Note = nullptr;
std::unique_ptr<TVexlorLog> Log;
std::string Password = "dll-password";

HMODULE ThisModule()
{
    return LibraryModuleHandle();
}

void Say(const std::string& line)
{
    if (Note != nullptr) Note(line.c_str());
}

std::string Hex(const void* pointer)
{
    char text[16];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

// One line of what a handler received.
std::string Seen(const TVexlorExceptionRecord& record)
{
    return " object=" + (record.ExceptionObject != nullptr ? rtl::SafeClassName(record.ExceptionObject) : "null") +
           "@" + Hex(record.ExceptionObject) + " text=" + std::string(LogTextOf(record)) + "@" + Hex(record.LogText) +
           " options=" + (record.CurrentModuleOptions != nullptr ? "own" : "none") +
           " current=" + (CurrentExceptionRecord() != nullptr ? "set" : "null");
}

void __stdcall ProcExceptionNotify(TVexlorExceptionRecord, bool* handled)
{
    Say(std::string("dll:proc handled=") + (*handled ? "1" : "0"));
}

class TFixtureObject : public rtl::TObject {};

}  // namespace

extern "C" {

__declspec(dllexport) void FixtureStart(TNote note)
{
    Note = note;
    CreateVexlorLogList();
    CreateModuleLists();
    {
        rtl::TCriticalSectionLock lock(ModulesListLock());
        if (PVexlorModuleInfo info = ModuleInfoByHandle(ThisModule()))
            info->ExtraInformation.Options = TVexlorModuleOptions::Create(rtl::ModuleFileNameAnsi(ThisModule()));
    }
    Log = std::make_unique<TVexlorLog>();
    Log->SetOnExceptionNotify([](TVexlorExceptionRecord record, bool& handled) {
        Say(std::string("dll:notify handled=") + (handled ? "1" : "0") + Seen(record));
        handled = false;
        if (record.CurrentModuleOptions != nullptr) record.CurrentModuleOptions->SetSupportURL("https://dll.invalid/");
    });
    Log->SetOnHandledExceptionNotify([](TVexlorExceptionRecord, bool& handled) {
        Say(std::string("dll:handled handled=") + (handled ? "1" : "0"));
    });
    Log->SetOnExceptionActionNotify([](TVexlorExceptionRecord, TVexlorActionType action, bool& execute) {
        Say("dll:action " + std::to_string(action) + " execute=" + (execute ? "1" : "0"));
        execute = false;
    });
    Log->SetOnExceptionErrorNotify([](TVexlorExceptionRecord, TVexlorActionType action, bool& retry) {
        Say("dll:error " + std::to_string(action) + " retry=" + (retry ? "1" : "0"));
        retry = true;
    });
    Log->SetOnPasswordRequest([](TVexlorExceptionRecord record, std::string& password) {
        Say("dll:password in=" + password + " current=" + (CurrentExceptionRecord() != nullptr ? "set" : "null") +
            " text=" + std::string(LogTextOf(record)));
        password = Password;
    });
    Log->SetOnCustomDataRequest([](TVexlorExceptionRecord, TVexlorStrings& fields) {
        std::string line = "dll:data";
        for (const std::string& item : fields.Strings()) line += " " + item;
        Say(line);
        fields.Add(std::string("dll=1"));
    });
    Log->SetOnAttachedFilesRequest([](TVexlorExceptionRecord, TVexlorStrings& files) {
        Say("dll:files");
        files.Add(std::string("dll.txt"));
    });
    Log->SetOnCustomWebFieldsRequest([](TVexlorExceptionRecord, TVexlorStrings& fields) {
        Say("dll:web");
        fields.Add(std::string("dllfield=1"));
    });
    Log->SetOnCustomButtonClickNotify([](TVexlorExceptionRecord, bool& close) {
        Say(std::string("dll:button close=") + (close ? "1" : "0"));
        close = true;
    });
    ExceptionNotify = &ProcExceptionNotify;
}

__declspec(dllexport) void FixtureStop()
{
    ExceptionNotify = nullptr;
    Log.reset();
    FreeVexlorLogList();
    FreeModuleLists();
    Note = nullptr;
}

// What the password handler answers.
__declspec(dllexport) void FixtureSetPassword(const char* text)
{
    Password = text;
}

// An object of a class of this library, and its release.
__declspec(dllexport) void* FixtureMakeObject()
{
    return new TFixtureObject;
}

__declspec(dllexport) void FixtureFreeObject(void* object)
{
    delete static_cast<TFixtureObject*>(object);
}

// The library's current record (null between entries).
__declspec(dllexport) const void* FixtureCurrentRecord()
{
    return CurrentExceptionRecord();
}

}  // extern "C"
