# The version comes from project(VERSION) alone. The header EitoolVersion.h (EITOOL_VERSION,
# EITOOL_COMMIT, EITOOL_VERSION_TEXT, the three numbers) is made again at every build, so the
# commit it names is the one the program was built from.
set(EITOOL_VERSION_DIR ${CMAKE_BINARY_DIR}/version)
add_custom_target(eitool_version
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
          -DOUTPUT=${EITOOL_VERSION_DIR}/EitoolVersion.h -DVERSION=${PROJECT_VERSION}
          -P ${PROJECT_SOURCE_DIR}/cmake/WriteVersion.cmake
  BYPRODUCTS ${EITOOL_VERSION_DIR}/EitoolVersion.h
  COMMENT "Version header"
  VERBATIM)

# Lets target include EitoolVersion.h; on Windows its resource script can include
# VersionInfo.rc (cmake/) after defining EITOOL_RC_DESCRIPTION and EITOOL_RC_FILE.
function(eitool_use_version target)
  add_dependencies(${target} eitool_version)
  target_include_directories(${target} PRIVATE ${EITOOL_VERSION_DIR}
                             $<$<COMPILE_LANGUAGE:RC>:${PROJECT_SOURCE_DIR}/cmake>)
endfunction()
