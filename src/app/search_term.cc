#include "app/search_term.h"

#include <cstring>

namespace {

char search_term[kSearchTermCapacity];

}  // namespace

void StoreSearchTerm(const char* argument) {
  std::strncpy(search_term, argument, kLongestSearchTerm);
  search_term[kLongestSearchTerm] = '\0';
}

const char* SearchTerm() { return search_term; }
