# Installs the build into a throwaway prefix and checks what scripts and servers rely on:
# parlane-send beside parlane, and the user unit starting the installed program without an icon.
#   cmake -DBUILD=<build dir> -DPREFIX=<empty folder> -DBINDIR=<configured bindir> -P InstallCheck.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/parlane-send lib/systemd/user/parlane.service share/parlane/valtorin.cfg)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(READ ${PREFIX}/lib/systemd/user/parlane.service unit)
foreach(line "ExecStart=${BINDIR}/parlane -noicon" "Restart=on-failure" "WantedBy=default.target")
  string(FIND "${unit}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the unit lacks \"${line}\":\n${unit}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
