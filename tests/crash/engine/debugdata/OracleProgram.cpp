// The oracle program: code of every shape whose rows the post-link step turns
// into line tables (header inlines, templates, lambdas, anonymous namespaces,
// compiler clones, std::optional, operators, a very long name, far line jumps,
// a large gap of code without rows). The oracle test resolves every row of it
// through the probe and compares with binutils and llvm.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <sstream>
#include <vector>

#include "OracleInlines.h"

namespace oracle {

std::ostream& operator<<(std::ostream& stream, const Point& point)
{
    return stream << '(' << point.X << ", " << point.Y << ')';
}

}  // namespace oracle

namespace {

volatile int gSink;

// Called with constants only: GCC makes specialised clones of it.
__attribute__((noinline)) int Scaled(int value, int factor)
{
    int total = 0;
    for (int i = 0; i < factor; ++i) total += oracle::Mix(value + i);
    return total;
}

struct Shape {
    virtual ~Shape() = default;
    virtual int Area() const = 0;
};

struct Square : Shape {
    explicit Square(int side) : FSide(side) {}
    int Area() const override { return FSide * FSide; }
    int FSide;
};

}  // namespace

__attribute__((noinline)) int
FunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLon(
    int value)
{
    return oracle::Mix(value) + 1;
}

__attribute__((noinline)) int FarLines(int value)
{
    int result = value;
#line 45000
    result += oracle::Mix(result);
#line 90
    result -= 3;
#line 130000
    result *= 2;
    return result;
}

__attribute__((noinline)) int WithGap(int value)
{
    if (value > 1000000) {
        asm volatile("jmp 1f\n\t.skip 70000, 0x90\n1:");
    }
    return value + 11;
}

template <class T>
__attribute__((noinline)) T Summed(const std::vector<T>& values)
{
    oracle::Accumulator<T> sum;
    for (const T& value : values) sum.Add(value);
    return sum.Twice();
}

int main(int argc, char** argv)
{
    const int seed = argc + (argv[0] != nullptr ? 1 : 0);
    std::vector<std::function<int(int)>> steps;
    steps.push_back([](int v) { return Scaled(v, 3); });
    steps.push_back([seed](int v) { return Scaled(v + seed, 5); });
    int value = seed;
    for (const auto& step : steps) value = step(value);
    value +=
        FunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLongNameThatGoesOnAndOnFunctionWithAVeryLon(
            value);
    value += FarLines(value);
    value += WithGap(value);
    value += Summed(std::vector<int>{1, 2, value});
    value += static_cast<int>(Summed(std::vector<double>{0.5, 1.5}));
    if (auto half = oracle::Halve(value)) value = *half;
    std::ostringstream text;
    text << oracle::Point{value, seed};
    Square square(seed);
    const Shape& shape = square;
    gSink = value + shape.Area() + static_cast<int>(text.str().size());
    std::printf("%d\n", gSink);
    return 0;
}
