# cmake -DFILE=... -DMAX=... -P check_size.cmake: fails unless FILE exists
# and is at most MAX bytes.
if(NOT EXISTS "${FILE}")
  message(FATAL_ERROR "FAIL: ${FILE}: no such file")
endif()
file(SIZE "${FILE}" size)
math(EXPR kib "${size} / 1024")
if(size GREATER MAX)
  message(FATAL_ERROR "FAIL: ${FILE}: ${size} bytes (${kib} KiB), over the limit of ${MAX} bytes")
endif()
message(STATUS "OK: ${FILE}: ${size} bytes (${kib} KiB), at most ${MAX}")
