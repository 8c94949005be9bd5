# The product and its tests, cross-built for 32-bit Windows and run under Wine.
enable_language(RC)

# Product code: no exceptions, no RTTI, size first, every warning an error.
# Without exceptions or unwinding nothing walks the stack: no frame pointer,
# and the 4-byte stack alignment of 32-bit Windows (no SSE code here). No
# jump tables: a switch's compares take about as many bytes as its table, and
# each table entry would add a relocation. A function called once is not
# inlined for that alone, nor split to inline a part of it: setup.exe's code
# is 272 bytes smaller without either.
# No stack probes. Windows grows a thread's stack only as its guard page is
# touched, so GCC probes every frame of 4000 bytes or more; but while probes
# are on it also passes every call's arguments by moves into space reserved
# in the frame instead of by pushes, which made setup.exe 8 KB larger. Frames
# that small need no probe: a function that might use 4000 bytes of stack or
# more fails the build, here and in the link-time code generation of
# setup.exe (SETUP_STACK_LIMIT).
set(SETUP_STACK_LIMIT -Werror=stack-usage=4000)
set(SETUP_PRODUCT_OPTIONS
    -Os -Wall -Wextra -Werror -fno-exceptions -fno-rtti -fno-threadsafe-statics
    -fno-asynchronous-unwind-tables -fno-unwind-tables -ffunction-sections
    -fomit-frame-pointer -mpreferred-stack-boundary=2 -fno-jump-tables
    -fno-inline-functions-called-once -fno-partial-inlining -mno-stack-arg-probe
    ${SETUP_STACK_LIMIT}
    -flto -ffat-lto-objects  # setup.exe links across the libraries; tests link the plain code
    # No folder of this machine in the code (__FILE__ and the like): another
    # checkout builds the same bytes.
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
add_compile_definitions(WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0400 WINVER=0x0400)
# msvcrt's own printf and scanf: mingw's replacements add tens of kilobytes.
set(SETUP_PRODUCT_DEFINITIONS __USE_MINGW_ANSI_STDIO=0)

# The version resource takes its values from the project's settings.
configure_file(${PROJECT_SOURCE_DIR}/resources/version.h.in ${CMAKE_BINARY_DIR}/generated/version.h
               @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)

# One static library per folder. GLOB lists the files sorted by name, so the
# libraries' members, and with them the link, come in the same order everywhere.
function(setup_subsystem name folder)
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "(_host|setup_main)\\.cpp$")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${SETUP_PRODUCT_OPTIONS})
  target_compile_definitions(${name} PRIVATE ${SETUP_PRODUCT_DEFINITIONS})
endfunction()

setup_subsystem(setup_base base)
# zstd's decoder for the bundle, under the setup source's floor.
include(${PROJECT_SOURCE_DIR}/cmake/zstd.cmake)
setup_zstd_decoder(zstd_decoder)
# The log names the program's version, the one its version resource shows.
target_compile_definitions(setup_base PRIVATE SETUP_PROGRAM_VERSION="${PROJECT_VERSION}")
setup_subsystem(setup_xml xml)
setup_subsystem(setup_descriptor descriptor)
setup_subsystem(setup_registry registry)
setup_subsystem(setup_places places)
setup_subsystem(setup_shortcuts shortcuts)
setup_subsystem(setup_restart restart)
setup_subsystem(setup_source source)
setup_subsystem(setup_files files)
setup_subsystem(setup_script script)
setup_subsystem(setup_ui driver/ui)
setup_subsystem(setup_driver driver)

# Each library links the folders it includes, which all lie below it (the
# layer order of tools/check-includes.sh): the floor (base) under
# everything, then the XML engine, the descriptor and the registry; places
# over the registry; the shortcuts and replace-on-restart over places; the
# setup source over zstd's decoder; the payload over those; the script over
# the setup source; the user interface (which asks places which folders are
# refused), and the driver on top.
target_link_libraries(setup_xml PUBLIC setup_base)
target_link_libraries(setup_descriptor PUBLIC setup_xml setup_base)
target_link_libraries(setup_registry PUBLIC setup_base)
target_link_libraries(setup_places PUBLIC setup_registry setup_base)
target_link_libraries(setup_shortcuts PUBLIC setup_places setup_base)
target_link_libraries(setup_restart PUBLIC setup_places setup_base)
target_link_libraries(setup_source PUBLIC setup_base zstd_decoder)
target_link_libraries(setup_files PUBLIC setup_source setup_restart setup_places setup_registry
                      setup_base)
target_link_libraries(setup_script PUBLIC setup_source setup_descriptor setup_registry setup_base)
target_link_libraries(setup_ui PUBLIC setup_places setup_registry setup_base)
target_link_libraries(setup_driver PUBLIC setup_ui setup_script setup_files setup_shortcuts
                      setup_source setup_places setup_registry setup_xml setup_base)

# setup.exe: GUI subsystem, entry SetupEntry, msvcrt, static libgcc, stripped.
file(GLOB setup_resources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/*.rc)
# The resource script pulls in these files; a change to one rebuilds it.
file(GLOB resource_inputs CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/*.rc2
     ${PROJECT_SOURCE_DIR}/resources/*.manifest ${PROJECT_SOURCE_DIR}/resources/*.ico)
set_source_files_properties(${setup_resources} PROPERTIES OBJECT_DEPENDS "${resource_inputs}")
add_executable(setup WIN32 ${PROJECT_SOURCE_DIR}/driver/setup_main.cpp ${setup_resources})
target_include_directories(setup PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_options(setup PRIVATE ${SETUP_PRODUCT_OPTIONS})
target_compile_definitions(setup PRIVATE ${SETUP_PRODUCT_DEFINITIONS})
# Imports: only KERNEL32 statically, which every Windows maps from its system
# folder before the program runs. Every other system DLL is delay-loaded: its
# import slots and stubs are made from the list in cmake/imports of exactly the
# functions the program calls (cmake/delay-imports.cmake), and the program's
# own helper (base/system_library.cpp) loads the DLL from the system folder at
# the first call. No other import library is linked, so a function missing
# from a list fails the link rather than becoming a static import.
set(setup_import_lists)
foreach(dll advapi32 comctl32 gdi32 msvcrt ole32 shell32 user32)
  list(APPEND setup_import_lists ${PROJECT_SOURCE_DIR}/cmake/imports/${dll}.def)
endforeach()
set(setup_delay_imports ${CMAKE_BINARY_DIR}/generated/delay_imports.obj)
add_custom_command(OUTPUT ${setup_delay_imports}
                   COMMAND ${CMAKE_COMMAND} -DOUTPUT=delay_imports.s
                           "-DLISTS=${setup_import_lists}"
                           -P ${PROJECT_SOURCE_DIR}/cmake/delay-imports.cmake
                   COMMAND ${CMAKE_C_COMPILER} -c delay_imports.s -o delay_imports.obj
                   DEPENDS ${setup_import_lists} ${PROJECT_SOURCE_DIR}/cmake/delay-imports.cmake
                   WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/generated VERBATIM)
target_sources(setup PRIVATE ${setup_delay_imports})
# The libraries in the order in which they call each other, then the imports
# (in another order ld 2.40 has crashed).
target_link_libraries(setup PRIVATE setup_driver setup_ui setup_script setup_descriptor setup_files
                      setup_shortcuts setup_restart setup_source zstd_decoder setup_places
                      setup_registry setup_xml setup_base uuid kernel32 gcc)
# Entry SetupEntry in setup_main.cpp instead of the C runtime start-up code.
# No link time in the header: two builds of one commit give the same bytes,
# and with them the same PE checksum, which the linker computes and the step
# below writes again. The link-time code generation runs as one piece: split
# in two, each half laid out its own copy of the constants and strings both
# used (512 bytes), for the same code.
target_link_options(setup PRIVATE -s -Os -Wl,--gc-sections -nostartfiles -nodefaultlibs
                    -Wl,-e,_SetupEntry@0 -flto -flto-partition=one ${SETUP_STACK_LIMIT}
                    -Wl,--no-insert-timestamp
                    -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
                    -Wl,--major-os-version,4 -Wl,--minor-os-version,0
                    -Wl,-Map,${CMAKE_BINARY_DIR}/setup.map)
# The load configuration (base/system_library.cpp) and the delay imports that
# ld links but does not name in the header.
add_custom_command(TARGET setup POST_BUILD
                   COMMAND sh ${PROJECT_SOURCE_DIR}/tools/set-directories.sh
                           $<TARGET_FILE:setup> ${CMAKE_BINARY_DIR}/setup.map VERBATIM)
# The signed copy, a step of its own and made only on request: tools/sign.sh
# takes the certificate from the environment (see the README's Release).
add_custom_target(setup_signed
                  COMMAND sh ${PROJECT_SOURCE_DIR}/tools/sign.sh $<TARGET_FILE:setup>
                          ${CMAKE_BINARY_DIR}/signed/setup.exe ${SETUP_PRODUCT_NAME}
                          ${SETUP_PRODUCT_URL}
                  DEPENDS setup VERBATIM)

# The test bench: GoogleTest cross-built, every test executable linked static
# and run under Wine in the build folder's own prefix.
set(SETUP_WINE_PREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${PROJECT_SOURCE_DIR}/tools/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)

set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

function(setup_windows_test_program name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE gtest_main gtest)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE -Wall -Wextra -Werror)
  target_link_options(${name} PRIVATE -static)
endfunction()

function(setup_windows_test name)
  setup_windows_test_program(${name} ${ARGN})
  add_test(NAME ${name} COMMAND ${name})
endfunction()

add_subdirectory(tests)

# The Windows libraries that CMake adds to every program of a folder: the
# tests' folder (above) keeps them, but setup.exe, this folder's only program,
# links exactly the libraries named for it (see its imports).
set(CMAKE_CXX_STANDARD_LIBRARIES "")
set(CMAKE_C_STANDARD_LIBRARIES "")
