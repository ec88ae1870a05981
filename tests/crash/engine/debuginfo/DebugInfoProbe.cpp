// The probe of the debug-information readers: loads a library, prints the
// kind of source AssignValidDebugInfo chose for it, and the location that
// source gives for each relative address.
//
// usage: DebugInfoProbe LIBRARY [RVA...]   (RVAs hexadecimal)
// Prints "source CLASS" ("source none" when there is none), then per RVA one
// line: the RVA, then tab-separated unit, procedure, line, procedure offset
// line and source file, or "-" when the source knows nothing there.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "crash/engine/EDebug.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: DebugInfoProbe LIBRARY [RVA...]\n");
        return 2;
    }
    HMODULE module = ::LoadLibraryA(argv[1]);
    if (module == nullptr) {
        std::fprintf(stderr, "cannot load %s (%lu)\n", argv[1], ::GetLastError());
        return 3;
    }
    std::unique_ptr<crash::TVLDebugInfoSource> source;
    crash::AssignValidDebugInfo(module, source);
    std::printf("source %s\n", source ? source->ClassName().c_str() : "none");
    for (int i = 2; i < argc; ++i) {
        const unsigned long rva = std::strtoul(argv[i], nullptr, 16);
        crash::TVLLocationInfo info;
        const auto address = reinterpret_cast<std::uintptr_t>(module) + rva;
        if (source && source->GetLocationInfo(address, info))
            std::printf("%lx\t%s\t%s\t%ld\t%ld\t%s\n", rva, info.UnitName.c_str(), info.ProcedureName.c_str(),
                        static_cast<long>(info.LineNumber), static_cast<long>(info.ProcOffsetLine),
                        info.SourceName.c_str());
        else
            std::printf("%lx\t-\n", rva);
    }
    return 0;
}
