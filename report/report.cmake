# The report writer: a decode's results as the rows of --json and the lines
# of --explain, shared by the command line, the Python package and (from its
# own build) the WebAssembly module. Position-independent, as the Python
# module links it. It uses only the public headers.
add_library(vantor_report STATIC
  ${PROJECT_SOURCE_DIR}/report/decode_rows.cpp
  ${PROJECT_SOURCE_DIR}/report/explain.cpp
  ${PROJECT_SOURCE_DIR}/report/float_text.cpp
  ${PROJECT_SOURCE_DIR}/report/json_object.cpp)
target_include_directories(vantor_report PUBLIC ${PROJECT_SOURCE_DIR}/report)
target_link_libraries(vantor_report PUBLIC vantor)
set_target_properties(vantor_report PROPERTIES POSITION_INDEPENDENT_CODE ON)
