#pragma once

#include "cases.h"

namespace RecoveryCases {

// The recovery file written while the main window holds the input, modified: the longest
// pause it causes in the event loop (written a slice at a time between events), beside the
// pause of writing it in one go.
int pause(const Cases::Options &options);

} // namespace RecoveryCases
