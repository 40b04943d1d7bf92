# The engine's primitives: SHA-1, Base64, Blowfish, chaining modes.
set(_primitives ${CMAKE_CURRENT_LIST_DIR})
qlx_add_gtest(cipher_primitives_tests
  SOURCES
    ${_primitives}/sha1_test.cpp
    ${_primitives}/base64_test.cpp
    ${_primitives}/blowfish_test.cpp
    ${_primitives}/chaining_test.cpp
  LIBS qlx_cipher)

# Cross-checks against an independent implementation.
qlx_add_openssl_gtest(cipher_openssl_tests SOURCES ${_primitives}/blowfish_openssl_test.cpp)
