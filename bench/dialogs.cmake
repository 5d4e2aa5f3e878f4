# The send dialog's counter, run after every burst of typing.
if(TARGET parlane_ui)
  find_package(Qt6 REQUIRED COMPONENTS Widgets DBus)
  add_executable(bench_dialogs ${CMAKE_CURRENT_SOURCE_DIR}/bench_dialogs.cpp)
  target_link_libraries(bench_dialogs PRIVATE parlane_ui benchmark::benchmark)
endif()
