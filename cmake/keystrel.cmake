# keystrel_add_test(NAME SOURCES... [LIBS libs...])
# One gtest binary per unit, named after its source, registered with CTest.
function(keystrel_add_test name)
  if(NOT KEYSTREL_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock Threads::Threads)
  add_test(NAME ${name} COMMAND ${name})
endfunction()

# keystrel_add_class_module(TARGET REGISTER_FUNCTION)
# A class folder declares its library and the function that adds its classes
# to the catalogue; the library target links every module and calls each
# function once (see library/CMakeLists.txt).
function(keystrel_add_class_module target fn)
  set_property(GLOBAL APPEND PROPERTY KEYSTREL_CLASS_MODULES ${target})
  set_property(GLOBAL APPEND PROPERTY KEYSTREL_CLASS_REGISTRARS ${fn})
endfunction()
