# The core folders (frame, the class modules, library) added to a com/ build
# from their own CMakeLists, so their source lists are stated once. The
# caller provides keystrel_platform first (the store-backed one on the build
# machine, the advapi32 one on Windows).
set(KEYSTREL_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
set(KEYSTREL_BUILD_TESTS OFF)
set(KEYSTREL_BUILD_BENCH OFF)
include(${KEYSTREL_ROOT}/cmake/keystrel.cmake)
include_directories(${KEYSTREL_ROOT})

macro(keystrel_add_core_folders)
  foreach(dir ${ARGN})
    if(EXISTS ${KEYSTREL_ROOT}/${dir}/CMakeLists.txt)
      add_subdirectory(${KEYSTREL_ROOT}/${dir} ${CMAKE_BINARY_DIR}/core/${dir})
    endif()
  endforeach()
endmacro()
