# The command-line reader's units besides main.cpp, in a library of their own
# so that the tests can link them. They use only the public headers.
find_package(Threads REQUIRED)
add_library(vantor_cli_core STATIC
  ${PROJECT_SOURCE_DIR}/cli/batch.cpp
  ${PROJECT_SOURCE_DIR}/cli/classic_run.cpp
  ${PROJECT_SOURCE_DIR}/cli/decode_run.cpp
  ${PROJECT_SOURCE_DIR}/cli/file_job.cpp
  ${PROJECT_SOURCE_DIR}/cli/file_list.cpp
  ${PROJECT_SOURCE_DIR}/cli/options.cpp
  ${PROJECT_SOURCE_DIR}/cli/progress.cpp
  ${PROJECT_SOURCE_DIR}/cli/report.cpp
  ${PROJECT_SOURCE_DIR}/cli/stdin_spool.cpp)
target_include_directories(vantor_cli_core PUBLIC ${PROJECT_SOURCE_DIR}/cli)
target_link_libraries(vantor_cli_core PUBLIC vantor vantor_report Threads::Threads)
if(VANTOR_VIDEO)
  target_sources(vantor_cli_core PRIVATE ${PROJECT_SOURCE_DIR}/cli/video_job.cpp)
  target_link_libraries(vantor_cli_core PUBLIC vantor_stream)
endif()
target_link_libraries(vantor-cli PRIVATE vantor_cli_core)
if(TARGET vantor_tests)
  target_link_libraries(vantor_tests PRIVATE vantor_cli_core)
endif()
