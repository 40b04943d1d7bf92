# cmake -DFILE=... -DMAX=... -P check_size.cmake: fails unless FILE exists
# and is at most MAX bytes. The verdict is printed as one plain line
# (message() without a mode): an error message is wrapped at blanks to the
# terminal's width, so a long path would break it over several lines and no
# pattern over the line could match it.
if(NOT EXISTS "${FILE}")
  message("FAIL: ${FILE}: no such file")
  message(FATAL_ERROR "size check failed")
endif()
file(SIZE "${FILE}" size)
math(EXPR kib "${size} / 1024")
if(size GREATER MAX)
  message("FAIL: ${FILE}: ${size} bytes (${kib} KiB), over the limit of ${MAX} bytes")
  message(FATAL_ERROR "size check failed")
endif()
message(STATUS "OK: ${FILE}: ${size} bytes (${kib} KiB), at most ${MAX}")
