// Figures of the debug-information readers (prints them; not a test): the
// parse time and the memory of a map of 100,000 publics and 500,000 lines,
// and lookups per second at random addresses for the map, JDBG data walked
// and cached, and TD32 data. The data is what make_debug_fixtures.py --bench
// wrote into the folder given on the command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/support/BenchLiveBytes.h"
#include "crash/engine/EDebug.h"

namespace {

using namespace crash;

std::vector<std::uint8_t> Load(const std::string& name)
{
    std::vector<std::uint8_t> data;
    FILE* file = std::fopen(name.c_str(), "rb");
    if (file == nullptr) return data;
    std::fseek(file, 0, SEEK_END);
    data.resize(static_cast<std::size_t>(std::ftell(file)));
    std::fseek(file, 0, SEEK_SET);
    if (std::fread(data.data(), 1, data.size(), file) != data.size()) data.clear();
    std::fclose(file);
    return data;
}

// Lookups per second of the full location (as a source gives it) at
// addresses spread over the code.
template <class TScanner>
double LookupsPerSecond(const TScanner& scanner, std::uint32_t top, double seconds)
{
    std::mt19937 random(1);
    std::uniform_int_distribution<std::uint32_t> where(0, top);
    std::vector<std::uint32_t> vas(4096);
    for (auto& va : vas) va = where(random);
    std::size_t done = 0, found = 0;
    const double start = bench::Now();
    double elapsed = 0;
    do {
        for (int i = 0; i < 64; ++i, ++done) {
            const std::uint32_t va = vas[done % vas.size()];
            if (scanner.ModuleNameFromAddr(va).empty()) continue;
            std::int32_t offset = 0;
            const std::string name = scanner.ProcNameFromAddr(va, offset);
            const std::int32_t line = scanner.LineNumberFromAddr(va);
            const std::string source = scanner.SourceNameFromAddr(va);
            found += !name.empty() && line - scanner.LineNumberFromAddr(va - static_cast<std::uint32_t>(offset)) >= 0 &&
                     !source.empty();
        }
        elapsed = bench::Now() - start;
    } while (elapsed < seconds);
    if (found == 0) std::printf("  (no lookup found anything)\n");
    return static_cast<double>(done) / elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: DebugInfoBench FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    unsigned units = 0, publics = 0, lines = 0;
    if (FILE* shape = std::fopen((folder + "\\bench.txt").c_str(), "r")) {
        if (std::fscanf(shape, "%u %u %u", &units, &publics, &lines) != 3) units = 0;
        std::fclose(shape);
    }
    std::printf("module: %u units, %u procedures, %u lines\n", units, publics, lines);

    const std::vector<std::uint8_t> mapFile = Load(folder + "\\bench.map");
    std::printf("map text: %.1f MB\n", static_cast<double>(mapFile.size()) / (1 << 20));
    const std::size_t before = bench::LiveBytes();
    double start = bench::Now();
    auto fromFile = std::make_unique<TVLMapScanner>(folder + "\\bench.map");
    const double loadAndParse = bench::Now() - start;
    const std::size_t kept = bench::LiveBytes() - before;
    const std::string_view text(reinterpret_cast<const char*>(mapFile.data()), mapFile.size());
    start = bench::Now();
    TVLMapScanner scanner(text);
    const double parse = bench::Now() - start;
    std::printf("map: %zu segments, %zu publics, %zu lines (%d dropped)\n", scanner.Segments().size(),
                scanner.ProcNames().size(), scanner.LineNumbers().size(), scanner.LineNumberErrors());
    std::printf("map parse: %.3f s from memory, %.3f s with the file's load\n", parse, loadAndParse);
    std::printf("map memory kept: %.1f MB (text %.1f MB, tables %.1f MB)\n", static_cast<double>(kept) / (1 << 20),
                static_cast<double>(mapFile.size()) / (1 << 20),
                static_cast<double>(kept - mapFile.size()) / (1 << 20));
    const std::uint32_t top = scanner.Segments().empty() ? 0 : scanner.Segments().back().EndAddr;
    std::printf("map lookups: %.0f per second\n", LookupsPerSecond(scanner, top, 1.0));
    fromFile.reset();

    const std::vector<std::uint8_t> jdbg = Load(folder + "\\bench.jdbg");
    TVLBinDebugScanner walked(jdbg.data(), jdbg.size(), false);
    TVLBinDebugScanner cached(jdbg.data(), jdbg.size(), true);
    std::printf("JDBG: %.1f MB, valid %d\n", static_cast<double>(jdbg.size()) / (1 << 20), walked.ValidFormat());
    std::printf("JDBG lookups walked: %.0f per second\n", LookupsPerSecond(walked, top, 2.0));
    const std::size_t beforeCache = bench::LiveBytes();
    start = bench::Now();
    cached.ProcNameFromAddr(0);
    std::printf("JDBG cache: %.3f s to unpack, %.1f MB\n", bench::Now() - start,
                static_cast<double>(bench::LiveBytes() - beforeCache) / (1 << 20));
    std::printf("JDBG lookups cached: %.0f per second\n", LookupsPerSecond(cached, top, 1.0));

    const std::vector<std::uint8_t> td32 = Load(folder + "\\bench.tds");
    const std::size_t beforeTd32 = bench::LiveBytes();
    start = bench::Now();
    TVLTD32InfoScanner tds(td32.data(), td32.size());
    const bool analysed = tds.Analyse();
    std::printf("TD32: %.1f MB, analysed %d in %.3f s, %.1f MB kept besides the data\n",
                static_cast<double>(td32.size()) / (1 << 20), analysed, bench::Now() - start,
                static_cast<double>(bench::LiveBytes() - beforeTd32) / (1 << 20));
    std::printf("TD32 lookups: %.0f per second\n", LookupsPerSecond(tds, top, 2.0));
    return 0;
}
