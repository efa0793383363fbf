#pragma once

#include <cstdint>

namespace artnet::bench {

// Number of heap allocations made by this process so far.
std::uint64_t AllocationCount();

}  // namespace artnet::bench
