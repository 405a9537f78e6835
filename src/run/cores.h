#pragma once

namespace zub {

// The number of cores this process may run on (its affinity mask), at least 1.
int available_cores();

}  // namespace zub
