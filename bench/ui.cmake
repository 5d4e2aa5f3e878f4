# The control panel's folder pages over large folders: opening the inbox page, scrolling it.
if(TARGET parlane_ui)
  add_executable(bench_ui ${CMAKE_CURRENT_SOURCE_DIR}/bench_ui.cpp)
  target_link_libraries(bench_ui PRIVATE parlane_ui)
endif()
