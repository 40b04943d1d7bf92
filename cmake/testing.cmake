# GoogleTest: Debian's package natively, its sources for the cross builds.
if(WIN32)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Warnings in the third-party sources are not ours to fix.
  foreach(t gtest gtest_main gmock gmock_main)
    target_compile_options(${t} PRIVATE -w)
  endforeach()
  set(QLX_GTEST_MAIN gtest_main)
  set(QLX_GMOCK gmock)
else()
  find_package(GTest REQUIRED)
  set(QLX_GTEST_MAIN GTest::gtest_main)
  set(QLX_GMOCK GTest::gmock)
endif()

# On by default in every preset: the win32 tests run under Wine 10's WoW64
# in the root of scripts/wine10-root.sh, the win64 ones under the host's Wine.
option(QLX_RUN_TESTS "Register the unit tests with CTest" ON)

# qlx_add_gtest(name SOURCES ... LIBS ...): every test also links the OS
# platform library, which holds the bodies of the wipe and the random seed.
function(qlx_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} qlx_platform_os ${QLX_GMOCK} ${QLX_GTEST_MAIN})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  if(QLX_RUN_TESTS)
    add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
  endif()
endfunction()

# qlx_add_openssl_gtest(name SOURCES ...): a native-only test linked with
# OpenSSL's libcrypto, the independent reference (the cross builds have none).
# Its BF_* and SHA1 functions are deprecated in OpenSSL 3 but still the
# plainest reference at hand.
function(qlx_add_openssl_gtest name)
  if(WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  find_package(OpenSSL REQUIRED)
  qlx_add_gtest(${name} SOURCES ${ARG_SOURCES} LIBS qlx_cipher OpenSSL::Crypto)
  target_compile_options(${name} PRIVATE -Wno-deprecated-declarations)
endfunction()
