# The build's version, for every program's --version and for the packages: the product's own
# number (the project's VERSION, also the About box's and the version resource's) with the
# history it was built from, e.g. 1.0.0.1+git244.39fd51c. The repository has no tags, so the
# count of commits stands in for a release number; it grows with every commit, so packages sort
# in the order they were built. Outside a git checkout (a source tarball) it is the number alone.
#
# Made at configure time; build.sh configures on every run, and a commit or a checkout made
# since re-runs the configuration, so the number follows HEAD.

find_package(Git QUIET)
set(STAVEL_BUILD_VERSION ${PROJECT_VERSION})
if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE stavel_commits OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE stavel_count_failed ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --short=7 HEAD
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE stavel_commit OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE stavel_hash_failed ERROR_QUIET)
    if(NOT stavel_count_failed AND NOT stavel_hash_failed)
        set(STAVEL_BUILD_VERSION "${PROJECT_VERSION}+git${stavel_commits}.${stavel_commit}")
        # HEAD and the branch it points at: a commit moves one of them.
        execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute
                                --git-path HEAD --git-path packed-refs
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE stavel_git_files OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        execute_process(COMMAND ${GIT_EXECUTABLE} symbolic-ref -q HEAD
                        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                        OUTPUT_VARIABLE stavel_branch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(stavel_branch)
            execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute
                                    --git-path ${stavel_branch}
                            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                            OUTPUT_VARIABLE stavel_branch_file OUTPUT_STRIP_TRAILING_WHITESPACE
                            ERROR_QUIET)
            string(APPEND stavel_git_files "\n${stavel_branch_file}")
        endif()
        string(REPLACE "\n" ";" stavel_git_files "${stavel_git_files}")
        foreach(file ${stavel_git_files})
            if(EXISTS ${file})
                set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                                                                             ${file})
            endif()
        endforeach()
    endif()
endif()
message(STATUS "Stavel version ${STAVEL_BUILD_VERSION}")

# The programs include "version/BuildVersion.h"; only their entry points do, so a new commit
# rebuilds a handful of files.
configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildVersion.h.in
               ${PROJECT_BINARY_DIR}/generated/version/BuildVersion.h @ONLY)
add_library(stavel_version INTERFACE)
target_include_directories(stavel_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
