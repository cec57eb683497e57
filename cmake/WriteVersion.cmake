# Writes the version header: the project's version and the commit the tree was built from (git
# describe; "unknown" outside a git clone). Run at every build by the eitool_version target; the
# header is rewritten only when its text changes, so nothing is rebuilt for nothing.
#   cmake -DSOURCE_DIR=... -DOUTPUT=... -DVERSION=... -P WriteVersion.cmake
set(commit unknown)
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --always --dirty
                  WORKING_DIRECTORY ${SOURCE_DIR}
                  OUTPUT_VARIABLE described OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed ERROR_QUIET)
  if(NOT failed AND described)
    set(commit ${described})
  endif()
endif()
string(REPLACE "." ";" parts ${VERSION})
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
set(text "// Made at build time by cmake/WriteVersion.cmake.
#pragma once
#define EITOOL_VERSION \"${VERSION}\"
#define EITOOL_VERSION_MAJOR ${major}
#define EITOOL_VERSION_MINOR ${minor}
#define EITOOL_VERSION_PATCH ${patch}
#define EITOOL_COMMIT \"${commit}\"
#define EITOOL_VERSION_TEXT \"${VERSION} (${commit})\"
")
set(old "")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL text)
  file(WRITE ${OUTPUT} "${text}")
endif()
