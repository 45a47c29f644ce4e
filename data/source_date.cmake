# Run by cpack before it packs: the package's files take their dates from the
# source, never from the clock, so that the same source makes the same bytes.
# SOURCE_DATE_EPOCH when it is set; else the last commit's time; else, without
# .git, the date of the changelog's newest entry. CPack's DEB generator dates
# the ar members and the tars from SOURCE_DATE_EPOCH.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  get_filename_component(src "${CMAKE_CURRENT_LIST_DIR}" DIRECTORY)
  if(EXISTS "${src}/.git")
    execute_process(COMMAND git -C "${src}" log -1 --format=%ct RESULT_VARIABLE failed
                    OUTPUT_VARIABLE epoch ERROR_VARIABLE why OUTPUT_STRIP_TRAILING_WHITESPACE
                    ERROR_STRIP_TRAILING_WHITESPACE)
    if(failed)
      message(WARNING "git could not tell the last commit's time (${why}); dating the package from the changelog")
    endif()
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    file(STRINGS "${src}/data/changelog.in" trailer REGEX "^ -- " LIMIT_COUNT 1)
    string(REGEX REPLACE "^ -- .*  " "" when "${trailer}")
    execute_process(COMMAND date -d "${when}" +%s OUTPUT_VARIABLE epoch
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
