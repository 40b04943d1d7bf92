# The engine's primitives: SHA-1, Base64, UTF, Blowfish, chaining modes.
qlx_add_gtest(cipher_primitives_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/sha1_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/base64_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/utf_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/blowfish_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/chaining_test.cpp
  LIBS qlx_cipher)

# Cross-checks against an independent implementation; the cross builds have
# no OpenSSL.
if(NOT WIN32)
  find_package(OpenSSL REQUIRED)
  qlx_add_gtest(cipher_openssl_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/blowfish_openssl_test.cpp
    LIBS qlx_cipher OpenSSL::Crypto)
  # BF_* and SHA1 are deprecated in OpenSSL 3 but still the plain reference.
  target_compile_options(cipher_openssl_tests PRIVATE -Wno-deprecated-declarations)
endif()
