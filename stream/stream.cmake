# Video files, cameras and live streams (FFmpeg's libraries) and the symbols
# of their frames, for the command-line reader and the Python module. The
# libraries are loaded when a video is first opened: only their headers are
# needed to build.
add_library(vantor_stream STATIC
  ${PROJECT_SOURCE_DIR}/stream/ffmpeg.cpp
  ${PROJECT_SOURCE_DIR}/stream/frame_scan.cpp
  ${PROJECT_SOURCE_DIR}/stream/video_source.cpp)
set_target_properties(vantor_stream PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(vantor_stream PUBLIC ${PROJECT_SOURCE_DIR}/stream)
target_include_directories(vantor_stream PRIVATE ${FFMPEG_INCLUDE_DIRS} ${AVDEVICE_INCLUDE_DIRS})
target_compile_options(vantor_stream PRIVATE ${FFMPEG_CFLAGS_OTHER})
target_link_libraries(vantor_stream PUBLIC vantor PRIVATE ${CMAKE_DL_LIBS})
target_compile_definitions(vantor_stream PUBLIC VANTOR_WITH_VIDEO)
