# The command-line reader's units besides main.cpp, in a library of their own
# so that the tests can link them.
add_library(vantor_cli_core STATIC
  ${PROJECT_SOURCE_DIR}/cli/json_out.cpp
  ${PROJECT_SOURCE_DIR}/cli/explain.cpp
  ${PROJECT_SOURCE_DIR}/cli/stdin_spool.cpp
  ${PROJECT_SOURCE_DIR}/cli/decode_run.cpp)
target_include_directories(vantor_cli_core PUBLIC ${PROJECT_SOURCE_DIR}/cli PRIVATE ${PROJECT_SOURCE_DIR}/lib)
target_link_libraries(vantor_cli_core PUBLIC vantor)
target_link_libraries(vantor-cli PRIVATE vantor_cli_core)
if(TARGET vantor_tests)
  target_link_libraries(vantor_tests PRIVATE vantor_cli_core)
endif()
