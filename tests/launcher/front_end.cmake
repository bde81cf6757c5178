# The real progress window on a virtual screen: a Windows build run under Wine
# opens the dialog from the updater's resources and keeps a screenshot in
# artifacts/progress_window.png. Included from tests/launcher/CMakeLists.txt.
if(WIN32 AND TARGET vossarium_resources)
  add_executable(progress_window_demo WIN32
                 ${CMAKE_CURRENT_LIST_DIR}/progress_window_demo.cc
                 $<TARGET_OBJECTS:vossarium_entry> $<TARGET_OBJECTS:vossarium_resources>)
  target_link_libraries(progress_window_demo PRIVATE vossarium_launcher)

  find_program(VOSSARIUM_XVFB Xvfb)
  find_program(VOSSARIUM_IMPORT import)
  if(CMAKE_CROSSCOMPILING AND VOSSARIUM_XVFB AND VOSSARIUM_IMPORT)
    add_test(NAME launcher_progress_window
             COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/progress_window_test.sh
                     $<TARGET_FILE:progress_window_demo>
                     ${CMAKE_BINARY_DIR}/progress_window_wineprefix
                     ${CMAKE_BINARY_DIR}/artifacts/progress_window.png)
    set_tests_properties(launcher_progress_window PROPERTIES TIMEOUT 120)
  endif()
endif()
