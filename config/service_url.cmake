# The service base URL: http:// or https:// (in any case, as URLs allow),
# a host, and a final "/", since the program appends the user name to it and
# the redirector maps nothing but http and https. Any other value would build
# a program whose every connection fails, so it stops the configure.
function(qlx_check_service_url url)
  string(TOLOWER "${url}" lower)
  if(NOT lower MATCHES "^https?://[^/]+/" OR NOT url MATCHES "/$")
    message(FATAL_ERROR
      "QLX_SERVICE_BASE_URL must start with http:// or https://, name a host and end with /: ${url}")
  endif()
endfunction()

# As a script (cmake -DQLX_SERVICE_BASE_URL=... -P service_url.cmake), the
# same check alone, for its test.
if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  qlx_check_service_url("${QLX_SERVICE_BASE_URL}")
endif()
