# The Windows program: one statically linked cardtest.exe with its manifest,
# version information, icon and pictures.
add_library(app_win32 STATIC ${CMAKE_CURRENT_LIST_DIR}/Program.cpp)
target_link_libraries(app_win32 PUBLIC app ui_win32)
add_executable(cardtest WIN32
  ${CMAKE_CURRENT_LIST_DIR}/Main.cpp
  ${PROJECT_SOURCE_DIR}/resources/app.rc)
target_link_libraries(cardtest PRIVATE app_win32)
set_target_properties(cardtest PROPERTIES OUTPUT_NAME cardtest)
cardtest_as_released(cardtest)
# The demonstration reader lies beside the program in the build tree.
add_dependencies(cardtest emu40x)
