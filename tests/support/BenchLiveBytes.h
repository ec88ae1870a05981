// What the benchmarks measure with: a high-resolution clock in seconds, and
// the bytes the program has allocated and not yet freed (what a reader or an
// index keeps), counted by the replacement allocation functions that
// tests/support/BenchLiveBytes.cpp gives every benchmark linking it.
#pragma once
#include <cstddef>

namespace bench {

double Now();
std::size_t LiveBytes();

}  // namespace bench
