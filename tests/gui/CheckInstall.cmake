cmake_minimum_required(VERSION 3.25)
# Installs the build into a fresh prefix and checks that both programs, the desktop entry and its
# icon are there, so the window appears in a desktop's menu.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P CheckInstall.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/eitool bin/eitool-gui share/applications/eitool-gui.desktop
             share/icons/hicolor/64x64/apps/eitool-gui.png)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(STRINGS ${PREFIX}/share/applications/eitool-gui.desktop entry)
foreach(line "Exec=eitool-gui %F" "Icon=eitool-gui" "Type=Application")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "the desktop entry lacks \"${line}\"")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
