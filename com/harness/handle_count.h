// The number of registry key handles this process holds, counted the way
// Windows sees them: the process's handles from the system's handle table,
// each asked for its object type ("Key").
#ifndef KEYSTREL_COM_HARNESS_HANDLE_COUNT_H_
#define KEYSTREL_COM_HARNESS_HANDLE_COUNT_H_

#include <cstdint>

namespace keystrel::harness {

// -1 when the system does not answer.
std::int64_t OpenKeyHandles();

// Opens the predefined roots once, so the system library's cached handles
// to them exist before a count is taken as a baseline.
void TouchPredefinedRoots();

}  // namespace keystrel::harness

#endif  // KEYSTREL_COM_HARNESS_HANDLE_COUNT_H_
