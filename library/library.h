// The whole library: every class of every module in the catalogue, creatable
// by programmatic identifier "Keystrel10.<class>".
#ifndef KEYSTREL_LIBRARY_LIBRARY_H_
#define KEYSTREL_LIBRARY_LIBRARY_H_

namespace keystrel {

// Registers every class module once; later calls do nothing. Thread-safe.
void InitializeLibrary();

}  // namespace keystrel

#endif  // KEYSTREL_LIBRARY_LIBRARY_H_
