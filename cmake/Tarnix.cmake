# Shared build settings: warnings, static Windows linking, sanitizers, third-party headers and test helpers.

if(TARNIX_SANITIZE)
  add_compile_options(-fsanitize=${TARNIX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TARNIX_SANITIZE})
endif()

if(WIN32)
  # Executables and DLLs carry their runtime, so nothing from MinGW must sit beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()

# RapidJSON is header-only. A copy in the build tree lets the cross compilers see it without
# putting the host's /usr/include on their search path.
set(TARNIX_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
if(NOT EXISTS ${TARNIX_THIRD_PARTY_INCLUDE}/rapidjson/reader.h)
  if(NOT EXISTS /usr/include/rapidjson/reader.h)
    message(FATAL_ERROR "RapidJSON headers not found; install rapidjson-dev (scripts/test.sh does)")
  endif()
  file(COPY /usr/include/rapidjson DESTINATION ${TARNIX_THIRD_PARTY_INCLUDE})
endif()
add_library(tarnix_rapidjson INTERFACE)
target_include_directories(tarnix_rapidjson SYSTEM INTERFACE ${TARNIX_THIRD_PARTY_INCLUDE})

# GoogleTest: the system package on the host; compiled from Debian's sources for Windows.
if(CMAKE_CROSSCOMPILING)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  # googletest's own CMake defines the GTest:: aliases.
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# Our own code is held to every warning.
function(tarnix_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  # GCC 12 at -O3 (the release builds) warns about std::string concatenation that cannot overlap
  # (a false -Wrestrict inside libstdc++'s char_traits); it stays a warning there, not an error.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-error=restrict)
  endif()
endfunction()

# Sources of a module directory: every .cpp except tests and the other platform's files.
function(tarnix_module_sources out dir)
  file(GLOB all CONFIGURE_DEPENDS ${dir}/*.cpp)
  list(FILTER all EXCLUDE REGEX "_test\\.cpp$")
  if(WIN32)
    list(FILTER all EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER all EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

# Test support shared by every test program: tests/support (the temporary-folder helper).
add_library(tarnix_test_support INTERFACE)
target_include_directories(tarnix_test_support INTERFACE ${PROJECT_SOURCE_DIR})

# How this machine runs 32-bit programs, for the Windows builds: native, emulated (qemu user mode,
# which scripts/setup.sh registers where the kernel refuses 32-bit programs) or none. The 32-bit
# build's test programs run whole unless natively (TARNIX_WHOLE_PROGRAMS); the 64-bit build's
# scenarios that start the 32-bit bridge are told when it is emulated (minutes per start).
set(TARNIX_I386_MODE native)
set(TARNIX_WHOLE_PROGRAMS OFF)
set(TARNIX_TEST_ENV)
if(CMAKE_CROSSCOMPILING_EMULATOR)
  execute_process(COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh --i386-mode
    OUTPUT_VARIABLE TARNIX_I386_MODE OUTPUT_STRIP_TRAILING_WHITESPACE)
  message(STATUS "32-bit programs run here: ${TARNIX_I386_MODE}")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND NOT TARNIX_I386_MODE STREQUAL "native")
    set(TARNIX_WHOLE_PROGRAMS ON)
  elseif(CMAKE_SIZEOF_VOID_P EQUAL 8 AND TARNIX_I386_MODE STREQUAL "emulated")
    set(TARNIX_TEST_ENV TARNIX_E2E_OTHER_WIDTH_EMULATED=1)
  endif()
endif()

# Where 32-bit programs are emulated, a minute of every test program's run is Wine starting up:
# the modules' cases then run together in one program, unit_tests, rather than in one each.
if(TARNIX_WHOLE_PROGRAMS AND TARNIX_I386_MODE STREQUAL "emulated")
  set(TARNIX_UNIT_TESTS_TOGETHER ON)
endif()
option(TARNIX_UNIT_TESTS_TOGETHER "Run every module's unit tests in one program" ${TARNIX_UNIT_TESTS_TOGETHER})

# The program of every module's cases, when they run together; called once all modules are added.
function(tarnix_unit_tests_together)
  if(NOT TARNIX_UNIT_TESTS_TOGETHER)
    return()
  endif()
  get_property(cases GLOBAL PROPERTY TARNIX_UNIT_CASES)
  get_property(depends GLOBAL PROPERTY TARNIX_UNIT_DEPENDS)
  add_executable(unit_tests)
  target_link_libraries(unit_tests PRIVATE ${cases} GTest::gtest_main)
  if(depends)
    add_dependencies(unit_tests ${depends})
  endif()
  add_test(NAME unit_tests COMMAND unit_tests)
  tarnix_program_test_properties(unit_tests 600)
  # The longest program that starts no others goes first; the short ones fill in beside it.
  set_tests_properties(unit_tests PROPERTIES COST 100)
  # Whatever a module's cases hold (the registry, say), the program that runs them holds too.
  get_property(locks GLOBAL PROPERTY TARNIX_UNIT_LOCKS)
  if(locks)
    list(REMOVE_DUPLICATES locks)
    set_tests_properties(unit_tests PROPERTIES RESOURCE_LOCK "${locks}")
  endif()
endfunction()

# Registers GoogleTest program <target> with CTest: one test per test case, named
# <target>.<Suite>.<Case>, each bounded by TIMEOUT seconds (default 120), so a failure names its
# case. RESOURCE_LOCK applies to the cases matching the gtest filter LOCKED (default: all).
# Where 32-bit programs are emulated, every Wine process costs about a minute to start, so the
# program runs whole (only the cases matching EMULATED, default all), with its timeout scaled and
# the e2e harness told to pace its requests and wait longer (see tests/e2e/bridge_harness.cpp).
# tarnix_gtest(<target> [TIMEOUT s] [RESOURCE_LOCK r [LOCKED filter]] [EMULATED filter])
function(tarnix_gtest target)
  cmake_parse_arguments(G "" "TIMEOUT;RESOURCE_LOCK;LOCKED;EMULATED" "" ${ARGN})
  if(NOT G_TIMEOUT)
    set(G_TIMEOUT 120)
  endif()
  if(NOT TARNIX_WHOLE_PROGRAMS)
    set(properties TIMEOUT ${G_TIMEOUT} SKIP_RETURN_CODE 77)
    if(TARNIX_TEST_ENV)
      list(APPEND properties ENVIRONMENT ${TARNIX_TEST_ENV})
    endif()
    # The first listing under Wine may wait for the prefix to be made: minutes.
    set(discover ${target} TEST_PREFIX ${target}. DISCOVERY_TIMEOUT 900 NO_PRETTY_VALUES)
    if(G_RESOURCE_LOCK AND G_LOCKED)
      gtest_discover_tests(${discover} TEST_FILTER "${G_LOCKED}"
        PROPERTIES ${properties} RESOURCE_LOCK ${G_RESOURCE_LOCK})
      gtest_discover_tests(${discover} TEST_FILTER "-${G_LOCKED}" PROPERTIES ${properties})
    elseif(G_RESOURCE_LOCK)
      gtest_discover_tests(${discover} PROPERTIES ${properties} RESOURCE_LOCK ${G_RESOURCE_LOCK})
    else()
      gtest_discover_tests(${discover} PROPERTIES ${properties})
    endif()
    return()
  endif()
  set(filter)
  if(G_EMULATED)
    set(filter --gtest_filter=${G_EMULATED})
  endif()
  add_test(NAME ${target} COMMAND ${target} ${filter})
  tarnix_program_test_properties(${target} ${G_TIMEOUT})
  if(G_RESOURCE_LOCK)
    set_tests_properties(${target} PROPERTIES RESOURCE_LOCK ${G_RESOURCE_LOCK})
  endif()
endfunction()

# Properties of a test that runs a whole program. Under emulation each 32-bit Wine process needs
# about a minute to start (qemu 7.2 ignores Wine's address hints, so Wine reserves its address space
# in some 65000 steps), a test program up to five on a busy machine: one bound for all, twice that,
# short enough that an emulation hang and its retry stay affordable.
function(tarnix_program_test_properties test timeout)
  set(env ${TARNIX_TEST_ENV})
  if(TARNIX_WHOLE_PROGRAMS AND TARNIX_I386_MODE STREQUAL "emulated")
    set(timeout 600)
    set(env TARNIX_E2E_PACE_MS=75 TARNIX_E2E_TIME_SCALE=10)
  endif()
  set_tests_properties(${test} PROPERTIES TIMEOUT ${timeout} SKIP_RETURN_CODE 77
    ENVIRONMENT "${env}")
endfunction()

# A module's unit tests: every *_test.cpp of the directory in one GoogleTest program.
# tarnix_module_tests(NAME n LIBS libs... [TIMEOUT s] [RESOURCE_LOCK r [LOCKED filter]]
#                     [DEPENDS targets...] [SOURCES files...])
# DEPENDS: targets the tests need built beside them (the simulator's libraries, say).
function(tarnix_module_tests)
  cmake_parse_arguments(T "" "NAME;TIMEOUT;RESOURCE_LOCK;LOCKED" "LIBS;SOURCES;DEPENDS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(WIN32)
    list(FILTER tests EXCLUDE REGEX "_posix_test\\.cpp$")
  else()
    list(FILTER tests EXCLUDE REGEX "_win32_test\\.cpp$")
  endif()
  list(APPEND tests ${T_SOURCES})
  if(NOT tests)
    return()
  endif()
  # The cases are compiled once, for the module's own program and, under emulation, for the
  # program that runs every module's cases together.
  add_library(${T_NAME}_cases OBJECT ${tests})
  tarnix_warnings(${T_NAME}_cases)
  target_link_libraries(${T_NAME}_cases PUBLIC ${T_LIBS} tarnix_test_support GTest::gtest
    GTest::gmock)
  add_executable(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_NAME}_cases GTest::gtest_main)
  if(T_DEPENDS)
    add_dependencies(${T_NAME} ${T_DEPENDS})
  endif()
  if(TARNIX_UNIT_TESTS_TOGETHER)
    # unit_tests runs the cases: the module's own program is built only when asked for by name.
    set_target_properties(${T_NAME} PROPERTIES EXCLUDE_FROM_ALL ON)
    set_property(GLOBAL APPEND PROPERTY TARNIX_UNIT_CASES ${T_NAME}_cases)
    set_property(GLOBAL APPEND PROPERTY TARNIX_UNIT_DEPENDS ${T_DEPENDS})
    set_property(GLOBAL APPEND PROPERTY TARNIX_UNIT_LOCKS ${T_RESOURCE_LOCK})
    return()
  endif()
  set(lock)
  if(T_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${T_RESOURCE_LOCK} LOCKED ${T_LOCKED})
  endif()
  tarnix_gtest(${T_NAME} TIMEOUT ${T_TIMEOUT} ${lock})
endfunction()

# A static check of Windows image <target>, cheap enough for every run (cmake/check_image.cmake):
# its format (PE32 i386 or PE32+ x86-64), with CONSOLE a console image, and the exact sets of the
# DLLs it imports and the names it exports, where given. Nothing on other systems.
# tarnix_image_test(<target> [CONSOLE] [IMPORTS dlls...] [EXPORTS names...])
function(tarnix_image_test target)
  if(NOT WIN32)
    return()
  endif()
  cmake_parse_arguments(I "CONSOLE" "" "IMPORTS;EXPORTS" ${ARGN})
  set(format pei-x86-64)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(format pei-i386)
  endif()
  set(args -DOBJDUMP=${CMAKE_OBJDUMP} -DIMAGE=$<TARGET_FILE:${target}> -DFORMAT=${format})
  if(I_CONSOLE)
    list(APPEND args -DCONSOLE=ON)
  endif()
  foreach(set IN ITEMS IMPORTS EXPORTS)
    if(I_${set})
      string(JOIN "," names ${I_${set}})
      list(APPEND args -D${set}=${names})
    endif()
  endforeach()
  add_test(NAME image.${target}
    COMMAND ${CMAKE_COMMAND} ${args} -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/check_image.cmake)
endfunction()

# A module library from its directory's sources (an interface library while it has none).
# tarnix_module(NAME n [LIBS libs...])
function(tarnix_module)
  cmake_parse_arguments(M "" "NAME" "LIBS" ${ARGN})
  tarnix_module_sources(sources ${CMAKE_CURRENT_SOURCE_DIR})
  if(sources)
    add_library(${M_NAME} STATIC ${sources})
    target_link_libraries(${M_NAME} PUBLIC ${M_LIBS})
    tarnix_warnings(${M_NAME})
  else()
    add_library(${M_NAME} INTERFACE)
    target_link_libraries(${M_NAME} INTERFACE ${M_LIBS})
  endif()
endfunction()
