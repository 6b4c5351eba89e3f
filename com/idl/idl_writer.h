// Writes the type library's IDL from the class catalogue: the library
// Keystrel10 1.0 (locale 1033) with one hidden, nonextensible dual interface
// per class (members in slot order), the event dispinterfaces, the
// enumerations and one coclass per class.
//
// Identifiers (library, classes, interfaces, enumerations) are derived from
// their names, so every build writes the same ones and a rebuilt DLL keeps
// the registrations of the one before it.
//
// The same declarations are served early-bound through the C++ glue that
// WriteDualGlue writes against widl's header of that IDL.
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

// A header for the DLL's C++ (and native clients) that includes
// `widl_header`, the header widl writes from the IDL, so that it compiles
// beside <windows.h>: enumeration members are renamed while it is read, as
// two enumerations share member names and some are Windows macros.
std::string WriteInterfacesHeader(const Catalogue& catalogue, std::string_view widl_header);

// The C++ source serving the vtable of every dual interface of the IDL: per
// interface a class overriding each entry of widl's declaration (so the
// compiler checks every entry against the real layout) that packs its
// arguments into VARIANTs and calls the object's IDispatch::Invoke with the
// member's dispatch identifier, and DualInterfaces() listing them by
// interface identifier. Includes `interfaces_header` (WriteInterfacesHeader)
// and com/dual_interface.h.
std::string WriteDualGlue(const Catalogue& catalogue, std::string_view interfaces_header);

}  // namespace keystrel::com

#endif  // KEYSTREL_COM_IDL_IDL_WRITER_H_
