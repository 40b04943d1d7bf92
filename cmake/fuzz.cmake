# Fuzz targets: libFuzzer needs clang, while the native build is g++, so they
# form a project of their own (fuzz/), built along with this one into
# <build>/fuzz. scripts/test.sh runs each for a while; CTest replays the
# committed seed corpus on every test run.
find_program(QLX_CLANGXX NAMES clang++ clang++-14)
if(NOT QLX_CLANGXX)
  message(WARNING "clang++ not found: the fuzz targets are not built")
  return()
endif()

include(ExternalProject)
set(QLX_FUZZ_TARGETS fuzz_base64 fuzz_decrypt)
set(QLX_FUZZ_BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz)
set(QLX_FUZZ_JOBS 2 CACHE STRING "Parallel jobs for the fuzz project's own build")

ExternalProject_Add(qlx_fuzz
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/fuzz
  BINARY_DIR ${QLX_FUZZ_BINARY_DIR}
  CMAKE_GENERATOR Ninja
  CMAKE_ARGS
    -DCMAKE_CXX_COMPILER=${QLX_CLANGXX}
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
    -DQLX_ROOT=${CMAKE_SOURCE_DIR}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> -j ${QLX_FUZZ_JOBS}
  # The engine sources live outside fuzz/: let the inner build decide.
  BUILD_ALWAYS TRUE
  INSTALL_COMMAND ""
  # Shows the inner build's progress as it happens.
  USES_TERMINAL_BUILD TRUE
  BUILD_BYPRODUCTS ${QLX_FUZZ_BINARY_DIR}/fuzz_base64 ${QLX_FUZZ_BINARY_DIR}/fuzz_decrypt
)

if(QLX_TESTS)
  foreach(t IN LISTS QLX_FUZZ_TARGETS)
    # -runs=0: execute every seed once, then stop.
    add_test(NAME ${t}.seeds
             COMMAND ${QLX_FUZZ_BINARY_DIR}/${t} -runs=0 -artifact_prefix=${QLX_FUZZ_BINARY_DIR}/${t}.seeds-
                     ${CMAKE_SOURCE_DIR}/fuzz/corpus/${t})
    set_tests_properties(${t}.seeds PROPERTIES LABELS fuzz TIMEOUT 300)
  endforeach()
endif()
