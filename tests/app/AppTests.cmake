# The application tests run the program's own window data and handlers on the forms tests' Qt application set-up.
if(TARGET app_tests)
  target_sources(app_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/forms/QtEnvironment.cpp)
  target_link_libraries(app_tests PRIVATE paveno_demo_catalogue)
endif()
