# Writes the header with the commit the tool is built from, at every build, and
# touches it only when the commit changed, so that only build_info.cc is rebuilt.
#   cmake -DSOURCE=<source dir> -DHEADER=<header> -P commit_header.cmake
execute_process(COMMAND git rev-parse --short=12 HEAD WORKING_DIRECTORY ${SOURCE}
                OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT commit)
  set(commit unknown)
endif()
set(text "#define VERDASK_COMMIT \"${commit}\"\n")
if(EXISTS ${HEADER})
  file(READ ${HEADER} old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE ${HEADER} "${text}")
endif()
