// Version comparison of the core utilities.
#include <algorithm>

#include "crash/engine/ECore.h"

namespace crash {

namespace {

constexpr std::size_t kMinPartWidth = 5;
constexpr std::size_t kMinParts = 4;

// One part of a version: the number to pad, and in the last part the text from
// its first blank on ("1 RC 2" is "1" and " RC 2").
struct VersionPart {
    std::string Number;
    std::string Tail;
};

std::vector<VersionPart> SplitVersion(const std::string& version)
{
    std::vector<VersionPart> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = version.find('.', start);
        parts.push_back({version.substr(start, dot == std::string::npos ? std::string::npos : dot - start), {}});
        if (dot == std::string::npos) break;
        start = dot + 1;
    }
    VersionPart& last = parts.back();
    if (const std::size_t blank = last.Number.find(' '); blank != std::string::npos) {
        last.Tail = last.Number.substr(blank);
        last.Number.resize(blank);
    }
    while (parts.size() < kMinParts) parts.push_back({"0", {}});
    return parts;
}

std::string Normalise(const std::vector<VersionPart>& parts, const std::vector<std::size_t>& widths)
{
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) text += '.';
        text.append(widths[i] > parts[i].Number.size() ? widths[i] - parts[i].Number.size() : 0, '0');
        text += parts[i].Number;
        text += parts[i].Tail;
    }
    return text;
}

}  // namespace

bool IsGreaterVersion(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty()) return false;
    const std::vector<VersionPart> partsA = SplitVersion(a);
    const std::vector<VersionPart> partsB = SplitVersion(b);
    // Both texts pad a part to the same width, at least five digits, so that a
    // part of six digits still compares as the larger number.
    std::vector<std::size_t> widths(std::max(partsA.size(), partsB.size()), kMinPartWidth);
    for (std::size_t i = 0; i < partsA.size(); ++i) widths[i] = std::max(widths[i], partsA[i].Number.size());
    for (std::size_t i = 0; i < partsB.size(); ++i) widths[i] = std::max(widths[i], partsB[i].Number.size());
    return Normalise(partsB, widths) > Normalise(partsA, widths);
}

}  // namespace crash
