# Sets TESMARINDS_SOURCE_COMMIT to the commit the sources are checked out
# at, its first 12 hex digits, followed by ".dirty" when tracked files
# differ from it. A build of a copy outside the checkout (a rebuild of a
# release elsewhere) takes it from the environment's TESMARINDS_COMMIT; with
# neither it is empty. Read at configure time: the configuration is redone
# when HEAD moves.

set(TESMARINDS_SOURCE_COMMIT "$ENV{TESMARINDS_COMMIT}")
if(TESMARINDS_SOURCE_COMMIT STREQUAL "")
  find_package(Git QUIET)
endif()
if(TESMARINDS_SOURCE_COMMIT STREQUAL "" AND GIT_FOUND)
  execute_process(
    COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel --absolute-git-dir
            --short=12 HEAD
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
    OUTPUT_VARIABLE git_answer
    RESULT_VARIABLE git_status
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
  string(REPLACE "\n" ";" git_answer "${git_answer}")
  list(LENGTH git_answer git_lines)
  # Only the checkout these sources are the top of: a copy inside some
  # other repository is not that repository's commit.
  if(git_status EQUAL 0 AND git_lines EQUAL 3)
    list(GET git_answer 0 git_top)
    list(GET git_answer 1 git_dir)
    list(GET git_answer 2 git_commit)
    file(REAL_PATH "${git_top}" git_top)
    file(REAL_PATH "${CMAKE_SOURCE_DIR}" source_top)
    if(git_top STREQUAL source_top)
      execute_process(
        COMMAND ${GIT_EXECUTABLE} status --porcelain --untracked-files=no
        WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
        OUTPUT_VARIABLE git_changes
        RESULT_VARIABLE git_status
        ERROR_QUIET)
      set(TESMARINDS_SOURCE_COMMIT "${git_commit}")
      if(NOT git_status EQUAL 0 OR NOT git_changes STREQUAL "")
        string(APPEND TESMARINDS_SOURCE_COMMIT ".dirty")
      endif()
      if(EXISTS "${git_dir}/logs/HEAD")
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
                     "${git_dir}/logs/HEAD")
      endif()
    endif()
  endif()
endif()
