# brim get, post and ftp against the servers run_with_servers.py started.
include(${CMAKE_CURRENT_LIST_DIR}/expect.cmake)
if(NOT DEFINED ENV{BRIM_HTTP_PORT} OR DEFINED ENV{BRIM_SERVERS_MISSING})
  message(FATAL_ERROR "test servers missing: $ENV{BRIM_SERVERS_MISSING}")
endif()
set(http "http://127.0.0.1:$ENV{BRIM_HTTP_PORT}")


function(expect_size file size)
  file(SIZE ${file} actual)
  if(NOT actual EQUAL size)
    message(FATAL_ERROR "${file}: ${actual} bytes, expected ${size}")
  endif()
endfunction()

# Downloads, with the closing progress line (not a terminal: plain lines).
expect(0 "9.8 KiB / 9.8 KiB .* in 0:0" get ${http}/bytes/10000 ${WORK}/a.bin)
expect_size(${WORK}/a.bin 10000)
expect(0 "" get --limit-rate 64K ${http}/slow/20000 ${WORK}/b.bin)
# Without a length the library reports the bytes so far as the total: brim
# must not show that as a known total nor the transfer as done before its end.
expect(0 "nolen.bin 19\\.5 KiB  [^\n]* in 0:0[^\n]*\n$" get ${http}/nolen/20000 ${WORK}/nolen.bin)
if(LAST MATCHES " / ")
  message(FATAL_ERROR "an unknown total shown as known:\n${LAST}")
endif()
expect_size(${WORK}/nolen.bin 20000)
expect(0 "^[^\n]*slow-nolen.bin [0-9.]+ [KMG]?i?B / size unknown  [^\n]*\n" get --limit-rate 8K ${http}/nolen/20000 ${WORK}/slow-nolen.bin)
expect_size(${WORK}/b.bin 20000)
expect(2 "--limit-rate takes" get --limit-rate fast ${http}/bytes/1 ${WORK}/c.bin)
expect(1 "brim: BrimException : " get http://127.0.0.1:$ENV{BRIM_CLOSED_PORT}/x ${WORK}/d.bin)

# A form post: the body on standard output, the message box with the
# response headers on standard error (output, then error, in LAST).
expect(0 "^received\nresponse headers:\nHTTP/1.1 200" post 127.0.0.1 $ENV{BRIM_HTTP_PORT} /form/brim "a=1&b=2")
expect(0 "^response headers:\nHTTP/1.1 404" post 127.0.0.1 $ENV{BRIM_HTTP_PORT} /status/404/brim "a=1")
expect(2 "PORT must be" post 127.0.0.1 0 /form "a=1")

# FTP round trips in both modes; the password comes from the environment.
file(WRITE ${WORK}/up.txt "line one\r\nline two\r\n")
foreach(mode "" "--active")
  expect(0 "" ftp put 127.0.0.1:$ENV{BRIM_FTP_PORT} $ENV{BRIM_FTP_USER} ${WORK}/up.txt /up${mode}.txt ${mode})
  expect(0 "" ftp get 127.0.0.1:$ENV{BRIM_FTP_PORT} $ENV{BRIM_FTP_USER} ${WORK}/down${mode}.txt /up${mode}.txt ${mode})
  file(READ ${WORK}/up.txt sent HEX)
  file(READ ${WORK}/down${mode}.txt back HEX)
  if(NOT back STREQUAL sent OR NOT sent MATCHES "0d0a")
    message(FATAL_ERROR "ftp round trip changed the file: ${sent} became ${back}")
  endif()
endforeach()
set(ENV{BRIM_FTP_PASSWORD} "wrong")
expect(1 "BrimException : " ftp get 127.0.0.1:$ENV{BRIM_FTP_PORT} $ENV{BRIM_FTP_USER} ${WORK}/x.txt /up.txt)
