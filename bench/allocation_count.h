// Every heap allocation of the benchmark process is counted: malloc and its
// relatives and the global operator new are replaced in this binary.
#pragma once

#include <cstdint>

namespace bench {

// Allocations made so far by any thread.
std::uint64_t AllocationCount();

}  // namespace bench
