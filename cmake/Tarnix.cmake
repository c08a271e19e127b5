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

# Our own code is held to every warning.
function(tarnix_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
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

# A module's unit tests: every *_test.cpp of the directory in one GoogleTest program.
# tarnix_module_tests(NAME n LIBS libs... [TIMEOUT s] [ENV k=v...] [RESOURCE_LOCK r])
function(tarnix_module_tests)
  cmake_parse_arguments(T "" "NAME;TIMEOUT;RESOURCE_LOCK" "LIBS;ENV;SOURCES" ${ARGN})
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
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${tests})
  tarnix_warnings(${T_NAME})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77
    ENVIRONMENT "${T_ENV}")
  if(T_RESOURCE_LOCK)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK ${T_RESOURCE_LOCK})
  endif()
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
