#pragma once

#include <cstddef>

// The heap the program holds at its peak, counted by the global operator new and delete, so that
// a figure is the code's own, not the process's or the page cache's.
namespace heap {

// From now on, until peakGrowth is read.
void startCounting();
// The most the heap held beyond what it held at startCounting, in bytes, and the counting stops.
std::size_t peakGrowth();

} // namespace heap
