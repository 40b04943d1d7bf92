# cmake -DFILE=... -DMAX=... -P check_size.cmake: fails unless FILE exists
# and is smaller than MAX bytes.
if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "FAIL: ${FILE}: no such file")
endif()
file(SIZE "${FILE}" size)
math(EXPR kib "${size} / 1024")
if(NOT size LESS MAX)
  message(FATAL_ERROR "FAIL: ${FILE}: ${size} bytes (${kib} KiB), the limit is below ${MAX} bytes")
endif()
message(STATUS "OK: ${FILE}: ${size} bytes (${kib} KiB), below ${MAX}")
