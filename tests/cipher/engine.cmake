# Engine tests: streams, random source, stream adapter, registry, codec.
set(_engine ${CMAKE_CURRENT_LIST_DIR})
qlx_add_gtest(cipher_engine_tests
  SOURCES
    ${_engine}/stream_test.cpp
    ${_engine}/random_test.cpp
    ${_engine}/stream_adapter_test.cpp
    ${_engine}/library_test.cpp
    ${_engine}/codec_test.cpp
  LIBS qlx_cipher)

# Differential tests against OpenSSL's Blowfish.
qlx_add_openssl_gtest(cipher_engine_openssl_tests
  SOURCES ${_engine}/engine_reference.cpp ${_engine}/engine_openssl_test.cpp)
