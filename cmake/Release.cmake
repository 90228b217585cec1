# The version header, and what the Windows builds need to be handed out: the
# same bytes from any folder at any time, and PE headers that say Windows 7.

# cardtest_version.h (and the manifest, which carries the version too) come
# from the project version alone.
set(CARDTEST_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/Version.h.in ${CARDTEST_GENERATED_DIR}/cardtest_version.h @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/resources/cardtest.manifest.in
               ${CARDTEST_GENERATED_DIR}/cardtest.manifest @ONLY)
include_directories(${CARDTEST_GENERATED_DIR})

# The program and the emulated reader are linked as they are handed out in
# every Windows build, without a symbol table, so that the window tests run
# the very files that scripts/release packs and the programs are built once.
function(cardtest_as_released target)
  if(WIN32)
    target_link_options(${target} PRIVATE -s)
  endif()
endfunction()

if(NOT WIN32)
  return()
endif()

# No build folder in the binaries (file names in assertions and the like).
add_compile_options(
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
  -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
# No link time in the PE header; Windows 7 (6.1) as the oldest system, in
# both the OS and the subsystem version.
add_link_options(
  -Wl,--no-insert-timestamp
  -Wl,--major-os-version,6 -Wl,--minor-os-version,1
  -Wl,--major-subsystem-version,6 -Wl,--minor-subsystem-version,1)
