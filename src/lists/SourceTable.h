#pragma once
#include "lists/StartupSource.h"

namespace lists {

// Every kind of start-up list Pacewick takes over, one row each, in the order
// the list is built: the current user's Run key first, so that its entries win
// the duplicate rule. A row's index is its bit in an entry's ListSet and in the
// keeper's requests: rows are only ever added at the end.
SourceTable BuildSourceTable();

}  // namespace lists
