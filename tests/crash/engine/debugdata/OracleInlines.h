// Code of the oracle program that lies in a header: inline functions and
// templates whose rows keep this file's name inside the functions that use them.
#pragma once
#include <optional>
#include <ostream>
#include <string>

namespace oracle {

inline int Mix(int value)
{
    int result = value * 31;
    result ^= result >> 3;
    return result + 7;
}

template <class T>
struct Accumulator {
    T FTotal{};
    void Add(const T& value) { FTotal += value; }
    T Twice() const { return FTotal + FTotal; }
};

struct Point {
    int X = 0;
    int Y = 0;
};

std::ostream& operator<<(std::ostream& stream, const Point& point);

inline std::optional<int> Halve(int value)
{
    if (value % 2 != 0) return std::nullopt;
    return value / 2;
}

}  // namespace oracle
