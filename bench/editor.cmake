# Benchmarks of the editor's main window (view drawing, opening a file, the
# memory of the undo history). Built only with the editor; runs offscreen.
if(KVZA_EDITOR AND TARGET kvzaedit_ui_testing)
  add_executable(editor_benchmarks ${CMAKE_CURRENT_SOURCE_DIR}/editor_benchmarks.cpp)
  target_link_libraries(editor_benchmarks PRIVATE kvzaedit_ui_testing benchmark::benchmark)
  # The reader plug-ins are loaded from the output folder.
  target_compile_definitions(editor_benchmarks PRIVATE KVZA_BIN_DIR="${KVZA_OUT}")
  set_target_properties(editor_benchmarks PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                     ${CMAKE_BINARY_DIR}/bench)
endif()
