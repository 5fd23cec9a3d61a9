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
  # Labels are set by a script of our own that ctest reads after the discovered tests: passed
  # through gtest_discover_tests(PROPERTIES) a list of labels is flattened and every label after
  # the first turns into a bogus property, so "ctest -L threads" found no test at all.
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(WRITE ${labels_file}
       "if(${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"${ARG_LABELS}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
endfunction()
