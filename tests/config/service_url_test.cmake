# Each service URL against the configure's check: accepted ones pass,
# the others stop it with the reason.
set(accepted "https://dav.example/" "http://127.0.0.1:8642/" "HTTPS://dav.example/a/b/" "Http://dav.example/")
set(refused "ftp://dav.example/" "https://dav.example" "dav.example/" "https:///" "file:///C:/dav/" "")
foreach(url IN LISTS accepted refused)
  execute_process(COMMAND ${CMAKE_COMMAND} "-DQLX_SERVICE_BASE_URL=${url}" -P ${CHECK}
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  list(FIND accepted "${url}" wanted)
  if(wanted GREATER -1 AND NOT rc EQUAL 0)
    message(SEND_ERROR "refused ${url}: ${err}")
  elseif(wanted EQUAL -1 AND (rc EQUAL 0 OR NOT err MATCHES "must start with http:// or https://"))
    message(SEND_ERROR "accepted ${url} (${rc}): ${err}")
  endif()
endforeach()
