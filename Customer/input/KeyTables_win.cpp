#include "Customer/input/KeyTables.h"

// The tables belong to the sharing host's key injection, which is not built yet.
void BuildDeadKeyTable() {}
