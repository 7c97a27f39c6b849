# The application tests run the program's own window data and handlers on the forms tests' Qt application set-up.
if(TARGET app_tests)
  target_sources(app_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/forms/QtEnvironment.cpp)
  target_link_libraries(app_tests PRIVATE paveno_demo_catalogue)
  # Once more with one connection: fetching ahead must never change what a run does or what the site sees.
  gtest_discover_tests(app_tests TEST_PREFIX "OneConnection." DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;PAVENO_TEST_CONNECTIONS=1" TIMEOUT 120)
endif()
