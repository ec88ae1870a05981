// Loaded modules: their file names, entry points looked up by the type of
// their declaration, and the one table of typed pointers each run-time DLL
// gets.
#pragma once
#include <windows.h>

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "rtl/Handles.h"

namespace rtl {

// The full file name of a loaded module, the program's own for null, however
// long it is (the buffer grows past MAX_PATH); empty when the system gives
// none. Any thread.
std::wstring ModuleFileName(HMODULE module = nullptr);
// The same through GetModuleFileNameA, in the system ANSI code page, for the
// callers whose texts are 8-bit.
std::string ModuleFileNameAnsi(HMODULE module = nullptr);

// The entry point `name` of `module`, typed as the function it is declared
// as, so that caller and library disagree at compile time, not at run time:
//   auto* open = rtl::EntryPoint<decltype(::FT_Open)>(module, "FT_Open");
// Null when the module is null or does not export the name. Never raises.
template <class Function>
Function* EntryPoint(HMODULE module, const char* name) noexcept
{
    static_assert(std::is_function_v<Function>, "type an entry point by decltype of its declaration");
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Function*>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// What binding a table found missing, by exported name.
struct EntryTableResult {
    std::vector<const char*> missingRequired;  // any of them: the table was left empty
    std::vector<const char*> missingOptional;  // those entries are null
    bool Complete() const noexcept { return missingRequired.empty(); }
};

namespace detail {

// Looks the entries a table names up, and keeps the names of those missing.
class EntryBinder {
public:
    EntryBinder(HMODULE module, EntryTableResult& result) noexcept : FModule(module), FResult(result) {}
    template <class Pointer>
    void Required(Pointer& slot, const char* name)
    {
        if (!Find(slot, name)) FResult.missingRequired.push_back(name);
    }
    template <class Pointer>
    void Optional(Pointer& slot, const char* name)
    {
        if (!Find(slot, name)) FResult.missingOptional.push_back(name);
    }

private:
    template <class Pointer>
    bool Find(Pointer& slot, const char* name) noexcept
    {
        static_assert(std::is_pointer_v<Pointer> && std::is_function_v<std::remove_pointer_t<Pointer>>,
                      "a table entry is a pointer to function");
        slot = EntryPoint<std::remove_pointer_t<Pointer>>(FModule, name);
        return slot != nullptr;
    }
    HMODULE FModule;
    EntryTableResult& FResult;
};

}  // namespace detail

// A table of entry points is a struct of pointers to functions, each typed by
// decltype of its declaration and null at first, that names its entries to a
// binder:
//   struct ShellEntries {
//       decltype(&::SHGetFolderPathA) GetFolderPath = nullptr;
//       template <class TBinder>
//       void BindEntries(TBinder& bind) { bind.Required(GetFolderPath, "SHGetFolderPathA"); }
//   };
// BindEntryTable looks every entry up in `module`. A missing optional entry
// stays null (the feature that needs it is off); when a required one is
// missing, the whole table is reset to its empty state, so that no pointer
// into a library that is not wholly there can be called. A null module finds
// nothing. Never raises beyond the allocation of the result.
template <class Table>
EntryTableResult BindEntryTable(HMODULE module, Table& table)
{
    EntryTableResult result;
    detail::EntryBinder binder(module, result);
    table.BindEntries(binder);
    if (!result.Complete()) table = Table{};
    return result;
}

// A run-time DLL and its table: the library stays loaded while the object
// holds it, and the table's pointers are callable exactly as long. An object
// that holds no library has an empty table. Use it from one thread at a time.
template <class Table>
class RuntimeLibrary {
public:
    RuntimeLibrary() = default;
    // Takes the module over and binds its table. A module that lacks a
    // required entry is freed at once: nothing stays loaded.
    explicit RuntimeLibrary(LibraryHandle module) { Bind(std::move(module)); }
    // Loads the library with LoadLibraryExW, then as above; a library that
    // does not load leaves the object empty with nothing named as missing.
    explicit RuntimeLibrary(const wchar_t* fileName, DWORD flags = 0)
    {
        Bind(LibraryHandle(::LoadLibraryExW(fileName, nullptr, flags)));
    }
    // A moved-from object is empty, table included.
    RuntimeLibrary(RuntimeLibrary&& other) noexcept
        : FModule(std::move(other.FModule)),
          FTable(std::exchange(other.FTable, Table{})),
          FResult(std::move(other.FResult))
    {}
    RuntimeLibrary& operator=(RuntimeLibrary other) noexcept
    {
        std::swap(FModule, other.FModule);
        std::swap(FTable, other.FTable);
        std::swap(FResult, other.FResult);
        return *this;
    }

    // Whether the library is loaded with every required entry.
    explicit operator bool() const noexcept { return static_cast<bool>(FModule); }
    const Table& Entries() const noexcept { return FTable; }
    const Table* operator->() const noexcept { return &FTable; }
    HMODULE Module() const noexcept { return FModule.Get(); }
    // What the last binding missed: empty when the library did not load.
    const EntryTableResult& Result() const noexcept { return FResult; }

    // Gives the library up without freeing it: it stays loaded for the rest
    // of the process, and so stay the pointers of a copy of Entries(). The
    // object is empty afterwards.
    HMODULE Release() noexcept
    {
        FTable = Table{};
        return FModule.Release();
    }

private:
    void Bind(LibraryHandle module)
    {
        FModule = std::move(module);
        FTable = Table{};
        FResult = {};
        if (!FModule) return;
        FResult = BindEntryTable(FModule.Get(), FTable);
        if (!FResult.Complete()) FModule.Reset();
    }

    LibraryHandle FModule;
    Table FTable{};
    EntryTableResult FResult;
};

}  // namespace rtl
