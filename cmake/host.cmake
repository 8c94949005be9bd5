# Native build of the XML engine and the descriptor code for sanitizers,
# fuzzing and benchmarks. Nothing else of the product builds natively.

set(SETUP_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
set(SETUP_HOST_WARNINGS -Wall -Wextra -Werror)

# The engine sources with the host platform layer, and the descriptor code on
# top of them, built once per use: sanitized for tests, instrumented for the
# fuzzer, optimised for benchmarks. xml_host_<use> holds the engine alone;
# descriptor_host_<use> adds the descriptor code.
file(GLOB SETUP_XML_HOST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/xml/*.cpp)
list(FILTER SETUP_XML_HOST_SOURCES EXCLUDE REGEX "_win32\\.cpp$")
file(GLOB SETUP_DESCRIPTOR_HOST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/descriptor/*.cpp)

function(setup_host_library use)
  cmake_parse_arguments(ARG "" "" "OPTIONS;LINK" ${ARGN})
  add_library(xml_host_${use} STATIC ${SETUP_XML_HOST_SOURCES})
  target_include_directories(xml_host_${use} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(xml_host_${use} PRIVATE ${SETUP_HOST_WARNINGS} PUBLIC ${ARG_OPTIONS})
  target_link_options(xml_host_${use} PUBLIC ${ARG_LINK})
  add_library(descriptor_host_${use} STATIC EXCLUDE_FROM_ALL ${SETUP_DESCRIPTOR_HOST_SOURCES})
  target_compile_options(descriptor_host_${use} PRIVATE ${SETUP_HOST_WARNINGS})
  target_link_libraries(descriptor_host_${use} PUBLIC xml_host_${use})
endfunction()

setup_host_library(sanitized OPTIONS -g -O1 ${SETUP_SANITIZE} LINK ${SETUP_SANITIZE})
setup_host_library(fast OPTIONS -O2)

# The bundle's reader (pure code in source/) with zstd's xxHash, which holds
# the data's checksum: bundle_host_<use>.
function(setup_host_bundle_reader use)
  cmake_parse_arguments(ARG "" "" "OPTIONS;LINK" ${ARGN})
  add_library(bundle_host_${use} STATIC ${PROJECT_SOURCE_DIR}/source/bundle_index.cpp
              ${PROJECT_SOURCE_DIR}/third_party/zstd/lib/common/xxhash.c)
  target_include_directories(bundle_host_${use} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(bundle_host_${use} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${SETUP_HOST_WARNINGS}>
                         PUBLIC ${ARG_OPTIONS})
  target_link_options(bundle_host_${use} PUBLIC ${ARG_LINK})
endfunction()
setup_host_bundle_reader(sanitized OPTIONS -g -O1 ${SETUP_SANITIZE} LINK ${SETUP_SANITIZE})

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

function(setup_host_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE gtest_main gtest)
  target_compile_options(${name} PRIVATE ${SETUP_HOST_WARNINGS})
  add_test(NAME ${name} COMMAND ${name})
endfunction()

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  setup_host_library(fuzz OPTIONS -g -O1 -fsanitize=fuzzer-no-link,address,undefined
                     LINK -fsanitize=fuzzer-no-link,address,undefined)
  setup_host_bundle_reader(fuzz OPTIONS -g -O1 -fsanitize=fuzzer-no-link,address,undefined
                           LINK -fsanitize=fuzzer-no-link,address,undefined)
  set(SETUP_FUZZ_SECONDS 30 CACHE STRING "Length of the fuzz run in the test command")
else()
  message(WARNING "The fuzz target needs clang; it is left out of this build")
endif()

find_package(benchmark QUIET)
find_package(pugixml QUIET)

add_subdirectory(tests)
