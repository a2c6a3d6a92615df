// The run's search term: the accepted argument, stored once before the
// sweeps and only read afterwards.
#pragma once

#include <cstddef>

// The longest accepted argument in bytes.
constexpr std::size_t kLongestSearchTerm = 32;
constexpr std::size_t kSearchTermCapacity = kLongestSearchTerm + 1;

// Keeps at most kLongestSearchTerm bytes of argument.
void StoreSearchTerm(const char* argument);
const char* SearchTerm();
