// Writes the type library's IDL from the class catalogue: the library
// Keystrel10 1.0 (locale 1033) with one hidden, nonextensible dual interface
// per class (members in slot order), the event dispinterfaces, the
// enumerations and one coclass per class.
//
// Identifiers (library, classes, interfaces, enumerations) are derived from
// their names, so every build writes the same ones and a rebuilt DLL keeps
// the registrations of the one before it.
#ifndef KEYSTREL_COM_IDL_IDL_WRITER_H_
#define KEYSTREL_COM_IDL_IDL_WRITER_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/catalogue.h"

namespace keystrel::com {

// A stable identifier for `name` ("library:Keystrel10", "class:clsZqRegyHandlerC",
// ...), in registry form without braces: 8-4-4-4-12 upper-case hex digits.
std::string NameGuid(std::string_view name);

// The IDL text for every class and enumeration of `catalogue` that belongs to
// the type library (the automation layer's own runtime classes are left out).
std::string WriteIdl(const Catalogue& catalogue);

}  // namespace keystrel::com

#endif  // KEYSTREL_COM_IDL_IDL_WRITER_H_
