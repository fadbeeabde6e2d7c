# brim get, post and ftp against the servers run_with_servers.py started.
include(${CMAKE_CURRENT_LIST_DIR}/expect.cmake)
require("test servers missing: $ENV{BRIM_SERVERS_MISSING}" DEFINED ENV{BRIM_HTTP_PORT} AND NOT DEFINED ENV{BRIM_SERVERS_MISSING})
set(http "http://127.0.0.1:$ENV{BRIM_HTTP_PORT}")
function(expect_size file size)
  file(SIZE ${file} actual)
  require("${file}: ${actual} bytes, expected ${size}" actual EQUAL size)
endfunction()

# Downloads, with the closing progress line (not a terminal: plain lines).
expect(0 "9.8 KiB / 9.8 KiB .* in 0:0" get ${http}/bytes/10000 ${WORK}/a.bin)
expect_size(${WORK}/a.bin 10000)
expect(0 "" get --limit-rate 64K ${http}/slow/20000 ${WORK}/b.bin)
# Without a length the bytes so far are no known total, nor is the transfer done before its end.
expect(0 "nolen.bin 19\\.5 KiB  [^\n]* in 0:0[^\n]*\n$" get ${http}/nolen/20000 ${WORK}/nolen.bin)
require("an unknown total shown as known:\n${LAST}" NOT LAST MATCHES " / ")
expect_size(${WORK}/nolen.bin 20000)
expect(0 "^[^\n]*slow-nolen.bin [0-9.]+ [KMG]?i?B / size unknown  [^\n]*\n" get --limit-rate 8K ${http}/nolen/20000 ${WORK}/slow-nolen.bin)
expect_size(${WORK}/b.bin 20000)
expect(2 "--limit-rate takes" get --limit-rate fast ${http}/bytes/1 ${WORK}/c.bin)
expect(1 "brim: BrimException : " get http://127.0.0.1:$ENV{BRIM_CLOSED_PORT}/x ${WORK}/d.bin)

# A form post: the body on standard output, then the message box with the response headers.
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
  require("ftp round trip changed the file: ${sent} became ${back}" back STREQUAL sent AND sent MATCHES "0d0a")
endforeach()
set(ENV{BRIM_FTP_PASSWORD} "wrong")
expect(1 "BrimException : " ftp get 127.0.0.1:$ENV{BRIM_FTP_PORT} $ENV{BRIM_FTP_USER} ${WORK}/x.txt /up.txt)

# A short download never takes the final name, and its partial file is removed.
set(script 127.0.0.1:$ENV{BRIM_FTP_SCRIPT_PORT})
foreach(user cutretr abortretr)
  expect(1 "50000 of the 102400 bytes listed arrived" ftp get ${script} ${user} ${WORK}/big.bin /big.bin)
  require("ftp get (${user}) left a partial file" NOT EXISTS ${WORK}/big.bin AND NOT EXISTS ${WORK}/big.bin.brim-part)
endforeach()
file(WRITE ${WORK}/refused.txt "0123456789")
expect(1 "holds .* of the 10 bytes sent" ftp put ${script} refusestor ${WORK}/refused.txt /refused.txt)

file(WRITE ${WORK}/e.bin "old")
expect(1 "BrimException|arrived" get ${http}/drop/100000 ${WORK}/e.bin)
file(READ ${WORK}/e.bin kept)
require("a failed get replaced the file or left its partial file" kept STREQUAL "old" AND NOT EXISTS ${WORK}/e.bin.brim-part)
expect(0 "" get ${http}/bytes/5000 ${WORK}/e.bin)
expect_size(${WORK}/e.bin 5000)
expect(1 "larger than the 20000 bytes" get --max-size 20000 ${http}/bytes/50000 ${WORK}/f.bin)
expect(1 "larger than the 3000 bytes" get --max-size 3000 ${http}/nolen/50000 ${WORK}/f.bin)
expect(1 "larger than the 2097152 bytes" get --max-size 2M ${http}/bytes/2100000 ${WORK}/f.bin)
expect(1 "did not finish within 1 s" get --max-time 1 ${http}/slow/200000 ${WORK}/f.bin)
require("get over its limits left a file" NOT EXISTS ${WORK}/f.bin AND NOT EXISTS ${WORK}/f.bin.brim-part)
expect(2 "--max-time takes" get --max-time soon ${http}/bytes/1 ${WORK}/f.bin)

# The post's answer is bounded before the library reads it into memory.
expect(0 "^received\n" post --max-size 100 127.0.0.1 $ENV{BRIM_HTTP_PORT} /form/cap "a=1")
expect(1 "body is 50000 bytes, more than the 1024" post --max-size 1K 127.0.0.1 $ENV{BRIM_HTTP_PORT} /bytes/50000 "a=1")
expect(1 "does not announce its length" post 127.0.0.1 $ENV{BRIM_HTTP_PORT} /chunked/5000 "a=1")
