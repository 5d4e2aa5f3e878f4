# Installs the build into a throwaway prefix and checks that the desktop entry, every icon size
# and the help pages are where desktops and the program look for them.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DSOURCE_DIR=... -P InstallCheck.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(share ${PREFIX}/share)
set(expected
  ${share}/applications/parlane.desktop
  ${share}/icons/hicolor/scalable/apps/parlane.svg
  ${share}/parlane/valtorin.cfg)
foreach(size 16 22 24 32 48 64 128 256)
  list(APPEND expected ${share}/icons/hicolor/${size}x${size}/apps/parlane.png)
endforeach()
file(GLOB pages RELATIVE ${SOURCE_DIR}/data/help ${SOURCE_DIR}/data/help/*)
foreach(page ${pages})
  list(APPEND expected ${share}/parlane/help/${page})
endforeach()
list(APPEND expected ${share}/parlane/help/index.html)
foreach(file ${expected})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(STRINGS ${share}/applications/parlane.desktop icon_line REGEX "^Icon=")
if(NOT icon_line STREQUAL "Icon=parlane")
  message(FATAL_ERROR "the desktop entry names the icon '${icon_line}'")
endif()
file(REMOVE_RECURSE ${PREFIX})
message(STATUS "installed: ${expected}")
