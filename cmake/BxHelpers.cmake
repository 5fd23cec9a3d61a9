# Shared compile settings and the helpers that every target goes through.

set(BX_WARNINGS -Wall -Wextra -Werror -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
    -Wno-missing-field-initializers)

if(BX_SANITIZE)
  add_compile_options(-fsanitize=${BX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  # GCC's flow analysis gives false "may be used uninitialized" warnings on instrumented code
  # (std::regex, std::function); the normal build keeps the warning as an error.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND BX_WARNINGS -Wno-maybe-uninitialized)
  endif()
  add_link_options(-fsanitize=${BX_SANITIZE})
endif()

# The thread-safety build: every GUARDED_BY, REQUIRES and EXCLUDES (platform/thread_annotations.h)
# is checked against the locks each function holds; a finding fails the build.
if(BX_THREAD_SAFETY)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "BX_THREAD_SAFETY needs clang (-DCMAKE_CXX_COMPILER=clang++)")
  endif()
  list(APPEND BX_WARNINGS -Wthread-safety)
endif()

find_package(Threads REQUIRED)

# bx_target_defaults(target): warnings as errors and the source root on the include path.
function(bx_target_defaults target)
  target_compile_options(${target} PRIVATE ${BX_WARNINGS})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
endfunction()

# bx_add_layer(name DEPENDS libs...): the static library bx_<name> of the files in src/<name>/,
# linking `libs` (the layers right below it and outside libraries). With it comes the program
# bx_layer_check_<name>, which links every object of the layer over those libraries alone:
# a reference that climbs to a higher layer leaves a symbol undefined and fails the build.
function(bx_add_layer name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp)
  add_library(bx_${name} STATIC ${sources})
  bx_target_defaults(bx_${name})
  target_include_directories(bx_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(bx_${name} PUBLIC ${ARG_DEPENDS})
  bx_add_layer_check(${name} bx_${name})
  bx_record_layer(${name} ${ARG_DEPENDS})
endfunction()

# bx_record_layer(name deps...): notes which layers `name` may include (itself and every layer
# below it) in the global property BX_LAYER_RULES, "name:below1,below2;...", for the test
# layer_includes.
function(bx_record_layer name)
  set(below ${name})
  foreach(dep ${ARGN})
    if(dep MATCHES "^bx_(.+)$")
      get_property(dep_below GLOBAL PROPERTY BX_LAYER_BELOW_${CMAKE_MATCH_1})
      list(APPEND below ${dep_below})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES below)
  set_property(GLOBAL PROPERTY BX_LAYER_BELOW_${name} ${below})
  string(REPLACE ";" "," below_text "${below}")
  set_property(GLOBAL APPEND PROPERTY BX_LAYER_RULES "${name}:${below_text}")
endfunction()

# bx_add_layer_check(name library): the program bx_layer_check_<name>, `library` linked whole.
function(bx_add_layer_check name library)
  add_executable(bx_layer_check_${name} ${PROJECT_SOURCE_DIR}/cmake/layer_check.cpp)
  set_target_properties(bx_layer_check_${name} PROPERTIES
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/layer_check)
  target_link_libraries(bx_layer_check_${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${library}>")
endfunction()

# bx_add_program(name sources...): a program linked against the dispatcher library.
function(bx_add_program name)
  add_executable(${name} ${ARGN})
  bx_target_defaults(${name})
  target_link_libraries(${name} PRIVATE brevix)
endfunction()

# bx_add_test(name LABELS l1 l2 SOURCES s1 s2): a GoogleTest program registered with ctest,
# one ctest entry per test case.
function(bx_add_test name)
  cmake_parse_arguments(ARG "" "" "LABELS;SOURCES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  bx_target_defaults(${name})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE bx_test_support brevix GTest::gmock GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE BX_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                                             BX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  # Labels go through a script of our own that ctest reads after the discovered tests, never
  # through gtest_discover_tests(PROPERTIES), which flattens a list of labels into bogus
  # properties after the first.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${labels_file}
       "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${ARG_LABELS}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
endfunction()
