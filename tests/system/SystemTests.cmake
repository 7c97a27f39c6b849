# The system operation tests load their own window data and share the forms tests' Qt application set-up.
if(TARGET system_tests)
  paveno_window_data(TARGET system_tests SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/system/data/system.json
                     NAME SystemWindows NAMESPACE syswin)
  target_sources(system_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/forms/QtEnvironment.cpp)
endif()
