# The forms tests compile their own window data and link the compiler for its golden-file tests.
if(TARGET forms_tests)
  paveno_window_data(TARGET forms_tests SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/forms/data/engine.json
                     NAME EngineWindows NAMESPACE testwin)
  paveno_window_data(TARGET forms_tests SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/forms/data/kinds.json
                     NAME KindWindows NAMESPACE kindwin)
  target_link_libraries(forms_tests PRIVATE paveno_wdc)
  target_compile_definitions(forms_tests PRIVATE
    PAVENO_GOLDEN_DIR="${CMAKE_CURRENT_SOURCE_DIR}/forms/golden"
    PAVENO_KINDS_PICTURE="${CMAKE_CURRENT_BINARY_DIR}/kinds-window.png"
    PAVENO_ENGINE_BLOCK="${CMAKE_CURRENT_BINARY_DIR}/windowdata/EngineWindows/windowdata.bin")
endif()
