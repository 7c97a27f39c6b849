# The demo site tests also start the real paveno-demo-site program.
if(TARGET demosite_tests AND TARGET paveno-demo-site)
  target_compile_definitions(demosite_tests PRIVATE PAVENO_DEMO_SITE="$<TARGET_FILE:paveno-demo-site>")
  add_dependencies(demosite_tests paveno-demo-site)
endif()
