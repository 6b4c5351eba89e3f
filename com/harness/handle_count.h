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

// Removes HKCR\<progid> when its CLSID names a class with no registration
// left: what a recorder registered by an earlier process leaves behind once
// that process has ended. Creating through such a key misses in every
// context, and Wine's combase keeps two key handles open per miss (its local
// and surrogate server lookups each open "Wow6432Node" and never close it),
// so a case run after it would count handles that are neither its own nor
// the library's. A key whose class is registered is left alone.
void RemoveStaleProgIdKey(const wchar_t* progid);

}  // namespace keystrel::harness

#endif  // KEYSTREL_COM_HARNESS_HANDLE_COUNT_H_
