// Registration of the frame's own runtime classes and enumerations; the
// pieces RegisterFrameClasses (frame/host.h) puts together.
#ifndef KEYSTREL_FRAME_INTERNAL_FRAME_CLASSES_H_
#define KEYSTREL_FRAME_INTERNAL_FRAME_CLASSES_H_

#include "frame/catalogue.h"
#include "frame/object.h"
#include "frame/ustring.h"

namespace keystrel::detail {

void RegisterEnumeratorClass();  // dispatch.cpp
void RegisterAppClass();         // app_object.cpp
void RegisterFrameEnums();       // enums.cpp

// A new application object for the calling thread (app_object.cpp).
Ref<Object> MakeApplicationObject();

// The catalogue entry of a runtime class, registering the frame's classes on
// first use so they work even before InitializeLibrary has run.
const ClassInfo* RuntimeClass(UStringView name);

}  // namespace keystrel::detail

#endif  // KEYSTREL_FRAME_INTERNAL_FRAME_CLASSES_H_
