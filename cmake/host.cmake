# Native build of the XML engine and the descriptor code for sanitizers,
# fuzzing and benchmarks. Nothing else of the product builds natively.

set(SETUP_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
set(SETUP_HOST_WARNINGS -Wall -Wextra -Werror)

# The engine sources with the host platform layer, built once per use:
# sanitized for tests, instrumented for the fuzzer, optimised for benchmarks.
file(GLOB SETUP_XML_HOST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/xml/*.cpp
     ${PROJECT_SOURCE_DIR}/descriptor/*.cpp)
list(FILTER SETUP_XML_HOST_SOURCES EXCLUDE REGEX "_win32\\.cpp$")

function(setup_host_library name)
  cmake_parse_arguments(ARG "" "" "OPTIONS;LINK" ${ARGN})
  add_library(${name} STATIC ${SETUP_XML_HOST_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${SETUP_HOST_WARNINGS} PUBLIC ${ARG_OPTIONS})
  target_link_options(${name} PUBLIC ${ARG_LINK})
endfunction()

setup_host_library(xml_host_sanitized OPTIONS -g -O1 ${SETUP_SANITIZE} LINK ${SETUP_SANITIZE})
setup_host_library(xml_host_fast OPTIONS -O2)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

function(setup_host_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE xml_host_sanitized gtest_main gtest)
  target_compile_options(${name} PRIVATE ${SETUP_HOST_WARNINGS})
  add_test(NAME ${name} COMMAND ${name})
endfunction()

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  setup_host_library(xml_host_fuzz OPTIONS -g -O1 -fsanitize=fuzzer-no-link,address,undefined
                     LINK -fsanitize=fuzzer-no-link,address,undefined)
  set(SETUP_FUZZ_SECONDS 30 CACHE STRING "Length of the fuzz run in the test command")
else()
  message(WARNING "The fuzz target needs clang; it is left out of this build")
endif()

find_package(benchmark QUIET)
find_package(pugixml QUIET)

add_subdirectory(tests)
