# The one place the version comes from: the project version, with the commit appended (as SemVer
# build metadata, "1.0.0+g1a2b3c4") when the source tree is a git checkout not sitting on a tag.
# Generates tarnix_version.h for the code and, on Windows, the numbers of the version resource.

set(TARNIX_VERSION ${PROJECT_VERSION})
find_package(Git QUIET)
if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --exact-match HEAD
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} RESULT_VARIABLE tarnix_not_at_tag
    OUTPUT_QUIET ERROR_QUIET)
  if(tarnix_not_at_tag)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=7 HEAD
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE tarnix_commit
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(tarnix_commit)
      string(APPEND TARNIX_VERSION "+g${tarnix_commit}")
    endif()
  endif()
  # A new commit or tag changes the version: configure again when HEAD moves. (In a worktree
  # .git is a file; ask git where its own folder is.)
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --absolute-git-dir
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE tarnix_git_dir
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  foreach(moved IN ITEMS HEAD logs/HEAD)
    if(tarnix_git_dir AND EXISTS ${tarnix_git_dir}/${moved})
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${tarnix_git_dir}/${moved})
    endif()
  endforeach()
endif()

set(TARNIX_GENERATED_INCLUDE ${CMAKE_BINARY_DIR}/generated/include)
configure_file(${PROJECT_SOURCE_DIR}/cmake/tarnix_version.h.in
  ${TARNIX_GENERATED_INCLUDE}/tarnix_version.h @ONLY)
add_library(tarnix_version INTERFACE)
target_include_directories(tarnix_version INTERFACE ${TARNIX_GENERATED_INCLUDE})
