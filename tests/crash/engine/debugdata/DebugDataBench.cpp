// Figures of a data block (prints them; not a test): the light and the full
// read, the index built at the first lookup, and lookups per second at random
// addresses of its rows on one and four threads, beside the scan that reads
// the tables from their start. The block is this program's, or that of the
// program named on the command line (mapped as an image, not run).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "tests/support/BenchLiveBytes.h"
#include "crash/engine/EDebugData.h"

namespace {

using namespace crash;

std::vector<std::uintptr_t> gAddresses;
const TModuleDebugData* gData;

DWORD WINAPI LookUp(void* count)
{
    TVexlorDebugInfo item;
    const std::size_t n = *static_cast<std::size_t*>(count);
    for (std::size_t i = 0; i < n; ++i) LookupSourceInfo(*gData, gAddresses[i % gAddresses.size()], item);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    HMODULE self = ::GetModuleHandleA(nullptr);
    if (argc > 1) {
        self = ::LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (self == nullptr) {
            std::printf("cannot map %s\n", argv[1]);
            return 1;
        }
    }
    // An image mapped as a resource has its handle's low bits set.
    const auto base = reinterpret_cast<std::uintptr_t>(self) & ~std::uintptr_t{0xFFFF};
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_SECTION_HEADER* text = IMAGE_FIRST_SECTION(nt);
    ShowVexlorLogUnits = true;

    double start = bench::Now();
    const int lightRounds = 50;
    for (int i = 0; i < lightRounds; ++i) {
        TModuleDebugData light(base);
        TDataReadSettings settings;
        settings.Refresh = true;
        std::size_t size = 0;
        const void* block = FindVexlorDataResource(self, size);
        ReadResourceData(block, size, light, settings);
    }
    const double light = (bench::Now() - start) / lightRounds;

    const std::size_t before = bench::LiveBytes();
    start = bench::Now();
    auto data = std::make_unique<TModuleDebugData>(base);
    std::size_t size = 0;
    const void* block = FindVexlorDataResource(self, size);
    if (block == nullptr || !ReadResourceData(block, size, *data)) {
        std::printf("no data block\n");
        return 1;
    }
    const double read = bench::Now() - start;
    const std::size_t afterRead = bench::LiveBytes();
    start = bench::Now();
    data->Index();
    const double index = bench::Now() - start;
    const std::size_t afterIndex = bench::LiveBytes();
    gData = data.get();

    // Random addresses of the code that the tables cover.
    std::mt19937 random(5);
    std::uniform_int_distribution<std::uintptr_t> pick(base + text->VirtualAddress,
                                                       base + text->VirtualAddress + text->Misc.VirtualSize - 1);
    TVexlorDebugInfo item;
    while (gAddresses.size() < 100000) {
        const std::uintptr_t address = pick(random);
        if (LookupSourceInfo(*gData, address, item)) gAddresses.push_back(address);
    }

    std::printf("block: %zu bytes, line tables: %zu bytes\n", size, data->DebugInformation->size());
    std::printf("light read: %.3f ms\n", light * 1e3);
    std::printf("full read: %.1f ms, %zu KB\n", read * 1e3, (afterRead - before) / 1024);
    std::printf("index (first lookup): %.1f ms, %zu KB\n", index * 1e3, (afterIndex - afterRead) / 1024);
    for (const int threads : {1, 4}) {
        std::size_t perThread = 2000000;
        std::vector<HANDLE> handles;
        start = bench::Now();
        for (int t = 0; t < threads; ++t)
            handles.push_back(::CreateThread(nullptr, 0, &LookUp, &perThread, 0, nullptr));
        ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), TRUE, INFINITE);
        const double seconds = bench::Now() - start;
        for (HANDLE h : handles) ::CloseHandle(h);
        std::printf("lookups, %d thread%s: %.2f million per second\n", threads, threads > 1 ? "s" : "",
                    static_cast<double>(perThread) * threads / seconds / 1e6);
    }
    start = bench::Now();
    const int scans = 200;
    for (int i = 0; i < scans; ++i) ScanSourceInfo(*gData, gAddresses[static_cast<std::size_t>(i)], item);
    std::printf("scan: %.0f lookups per second\n", scans / (bench::Now() - start));
    return 0;
}
