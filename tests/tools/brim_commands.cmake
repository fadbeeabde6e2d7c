# Runs brim's commands and checks exit codes and outputs.
include(${CMAKE_CURRENT_LIST_DIR}/expect.cmake)

expect(0 "^usage: brim detect" detect -h)
expect(0 "usage: brim" --help)
# Every summary starts in one column; no line of brim's own ends in a blank.
string(REGEX MATCHALL "\n  [a-z-]+ +[a-z]" rows "${LAST}")
list(LENGTH rows count)
list(TRANSFORM rows REPLACE "." "x")   # only a row's width is left
list(REMOVE_DUPLICATES rows)
list(LENGTH rows columns)
require("--help: ${count} commands, summaries in ${columns} columns:\n${LAST}"
  columns EQUAL 1 AND count GREATER 17 AND LAST MATCHES "\n  version-info [a-z]")
require("--help: a line ends in a blank:\n${LAST}" NOT LAST MATCHES "[ \t]\r?\n")
expect(0 "^brim [0-9]+\\.[0-9]+\\.[0-9]+\nlibrary [0-9]+\\.[0-9]+\\.[0-9]+\nbackend posix\nvector paths: UTF-8 conversion (portable|AVX2|AVX-512), encoding probers (portable|SSE2|AVX2|AVX-512)\n$" --version)
set(version "${LAST}")
expect(0 "" version)
require("brim version and brim --version differ:\n${version}\n${LAST}" LAST STREQUAL version)
expect(0 "^usage: brim version" --version --help)
expect(2 "^brim: unexpected operand 'now'" version now)
expect(2 "unknown command" frobnicate)
expect(0 "^Access is denied\\.\n$" error 5)
expect(0 "^BrimException : The system cannot find the file specified\\.\n$" error --exception 0x2)
expect(0 "ERRORNUMBER \\( -1 \\)" error -1)
expect(2 "one CODE" error)
# Each usage error names its own problem, once.
expect(2 "^brim: CODE 'abc' is not a number[^\n]*\nusage: brim error" error abc)
foreach(code 4294967296 99999999999999999999 -2147483649)
  expect(2 "^brim: CODE ${code} does not fit in 32 bits" error ${code})
endforeach()
expect(0 "ERRORNUMBER \\( -1 \\)" error 0xFFFFFFFF)
expect(2 "^brim: sysinfo takes no operands \\('extra' given\\)" sysinfo extra)
expect(2 "^brim: unknown option --bogus" sysinfo --bogus)
expect(0 "utf16le.txt: UTF16_LE\n.*utf8.txt: UTF8_NOBOM" detect ${SAMPLES}/utf16le.txt ${SAMPLES}/utf8.txt)
# brim decodes UTF-16BE itself; UTF-7 (a mark brim detects) nobody decodes.
expect(0 "^UTF-16 big-endian: not decoded\\.\n$" cat ${SAMPLES}/utf16be.txt)
file(WRITE ${WORK}/utf7.txt "+/v8-Hi")
expect(1 "^brim: BrimException : [^\n]*UTF7" cat ${WORK}/utf7.txt)
# Korean code pages decode through 949 in any locale; --ansi takes the locale's (1252 or 949).
set(ENV{LC_ALL} C.UTF-8)
expect(0 "^확장 완성형 CP949: 똠방각하, 햏\\.\r?\n완성형 EUC-KR 텍스트입니다" cat ${SAMPLES}/cp949.txt ${SAMPLES}/euckr.txt)
expect(0 "^È®Àå" cat --ansi ${SAMPLES}/cp949.txt)
set(ENV{LC_ALL} ko_KR.UTF-8)
expect(0 "^확장 완성형 CP949" cat --ansi ${SAMPLES}/cp949.txt)
unset(ENV{LC_ALL})
# A folder is named as a folder by every reading command, not as missing or denied.
foreach(args "cat;${SAMPLES}" "detect;${SAMPLES}" "convert;--to;utf8;${SAMPLES};${WORK}/from-folder.txt")
  expect(1 "^brim: [^\n]*samples: An operation is not supported on a directory\\.\n$" ${args})
endforeach()
expect(1 "^brim: [^\n]*missing.txt: The system cannot find the file specified\\.\n$" cat ${WORK}/missing.txt)
expect(0 "^한국어 UTF-8 텍스트입니다" cat ${SAMPLES}/utf8.txt)
expect(0 "00000000  ef bb bf" hexdump ${SAMPLES}/utf8-bom.txt)

expect(0 "" convert --to utf16 ${SAMPLES}/utf8.txt ${WORK}/out16.txt)
expect(1 "exists" convert --to utf16 ${SAMPLES}/utf8.txt ${WORK}/out16.txt)
expect(2 "--to must be" convert --to latin1 ${SAMPLES}/utf8.txt ${WORK}/x.txt)
expect(0 "out16.txt: UTF16_LE" detect ${WORK}/out16.txt)
expect(0 "^한국어 UTF-8 텍스트입니다" cat ${WORK}/out16.txt)

foreach(f a.txt sub/b.log .hidden/c.txt)
  file(WRITE ${WORK}/tree/${f} "${f}")
endforeach()
expect(0 "F .*a\\.txt" find ${WORK}/tree --ext txt)
expect(0 "D .*sub\nF .*b\\.log" find ${WORK}/tree --ext log --recursive)
expect(0 "" find ${WORK}/tree --recursive --ext txt)
require("hidden entries must be skipped without --hidden:\n${LAST}" NOT LAST MATCHES "c\\.txt")
expect(0 "c\\.txt" find ${WORK}/tree --recursive --hidden --ext txt)
expect(0 "" rename ${WORK}/tree/a.txt ${WORK}/tree/sub/b.log)
# The walk and the shell rename report nothing themselves; brim checks.
expect(1 "^brim: [^\n]*nosuchdir: The system cannot find the path specified\\.\n$" find ${WORK}/nosuchdir --ext txt)
expect(1 "^brim: [^\n]*b\\.log: The directory name is invalid\\.\n$" find ${WORK}/tree/sub/b.log)
expect(1 "^brim: [^\n]*nosuch: The system cannot find the file specified\\.\n$" rename ${WORK}/tree/nosuch ${WORK}/tree/new)
require("rename of a missing item made something" NOT EXISTS ${WORK}/tree/new)
expect(0 "^D /" find / --ext .no-such-ending)
expect(0 "b \\(2\\)\\.log" find ${WORK}/tree/sub --ext .log)
expect(0 "" rmdir ${WORK}/tree)
require("rmdir left the folder" NOT EXISTS ${WORK}/tree)
expect(1 "" rmdir ${WORK}/tree)

expect(0 "logged to" log --level 2 --folder ${WORK}/logs "hello from brim")
file(GLOB logs ${WORK}/logs/*.log)
file(READ "${logs}" logged)
file(READ "${logs}" logged_hex HEX)
require("unexpected log record: ${logged}" logged MATCHES "ERROR +cmd_fs.cpp.* - hello from brim" AND logged_hex MATCHES "0d0a$")

expect(0 "^[a-z][a-z][a-z][a-z][a-z][a-z][a-z]\n$" randname 7)
expect(2 "whole number" randname -3)
file(WRITE ${WORK}/unsorted.txt "b\nB\na\nab\n")
set(BRIM_INPUT INPUT_FILE ${WORK}/unsorted.txt)
expect(0 "^B\na\nab\nb\n$" sort)
# CR LF and stray CRs end lines too, the last needs no break, non-ASCII text comes out as it came in.
file(WRITE ${WORK}/unsorted.txt "z\r\n한\r\r\n😀\nA\n\ny")
expect(0 "^\nA\ny\nz\n한\n😀\n$" sort)
# Bytes that are not UTF-8 come out as they came in, beside a U+FFFD of the text's own.
execute_process(COMMAND sh -c "printf 'b\\377\\n\\357\\277\\275\\na\\n' | \"$0\" sort | od -An -tx1 | tr -d ' \\n'"
  ${BRIM} RESULT_VARIABLE rc OUTPUT_VARIABLE out)
require("sort of bytes that are not UTF-8 (rc ${rc}): ${out}" rc EQUAL 0 AND out STREQUAL "610a62ff0aefbfbd0a")
# More than one piece of output, the pieces' seams inside characters.
string(REPEAT "가나\nb\n" 30000 many)
file(WRITE ${WORK}/unsorted.txt "${many}")
string(REPEAT "b\n" 30000 want)
string(REPEAT "가나\n" 30000 want_korean)
expect(0 "" sort)
require("sort of 60000 lines: not the lines sorted" LAST STREQUAL "${want}${want_korean}")
unset(BRIM_INPUT)
# The tour: the samples' walk and decoding, the reader's refusals, the fallback code's hex form.
file(MAKE_DIRECTORY ${WORK}/samples/nested)
file(COPY ${SAMPLES}/ DESTINATION ${WORK}/samples)
file(WRITE ${WORK}/samples/nested/deep.txt "deep down\n")
file(WRITE ${WORK}/samples/nested/skip.dat "not listed\n")
set(ENV{LC_ALL} C.UTF-8)
expect(0 "BrimCommon tour.*UTF8_NOBOM" tour ${WORK}/samples)
unset(ENV{LC_ALL})
require("tour: a line ends in a blank:\n${LAST}" NOT LAST MATCHES "[ \t]\r?\n")
foreach(shown
    "2148401153  0x800E0001  ERRORNUMBER \\( -2146566143 \\)\n +\\([^)]*signed 32-bit"
    "folder walk.*\n   D [^\n]*nested\n"
    "\n   F [^\n]*nested/deep\\.txt\n"
    "1 folders, 8 \\.txt files"
    "cp949\\.txt +CP949 +확장 완성형 CP949"
    "euckr\\.txt +EUCKR +완성형 EUC-KR"
    "utf16be\\.txt +UTF16_BE +error: BrimException : [^\n]*UTF16_BE"
    "deep\\.txt +ASCII +deep down\n")
  require("the tour does not show '${shown}':\n${LAST}" LAST MATCHES "${shown}")
endforeach()
require("the tour's walk listed a file the filter excludes:\n${LAST}" NOT LAST MATCHES "skip\\.dat")
expect(0 "cp949\\.txt +CP949 +È®Àå" tour --ansi ${WORK}/samples)

set(key "HKCU\\Software\\BrimCommandTest${CMAKE_CURRENT_LIST_LINE}")
expect(0 "" reg set "${key}\\sub" greeting "안녕")
expect(0 "^안녕\n$" reg get "${key}\\sub" greeting)
expect(0 "" reg set "${key}" count 42 --int)
expect(0 "^42\n$" reg get "${key}" count --int)
expect(0 "" reg set "${key}" max 4294967295 --int)   # the top of the range
# An empty value is an empty line (an empty argument does not survive ARGN: run directly).
execute_process(COMMAND ${BRIM} reg set "${key}" blank "" RESULT_VARIABLE rc)
require("brim reg set of an empty value: exit ${rc}" rc EQUAL 0)
expect(0 "^\n$" reg get "${key}" blank)
expect(1 "^brim: [^\n]*: value 'absent' not found\n$" reg get "${key}" absent)
expect(1 "not found" reg get "${key}" absent --int)
expect(0 "" reg delete "${key}")
expect(1 "^brim: [^\n]*: value 'greeting' not found\n$" reg get "${key}\\sub" greeting)
expect(2 "ROOT" reg get "HKXX\\a" v)
expect(0 "system drive: +/" sysinfo)
require("sysinfo: a line ends in a blank:\n${LAST}" NOT LAST MATCHES "[ \t]\r?\n")

# An argument that is not UTF-8 names the file of those bytes: "t\xFF" is not "t\xEF\xBF\xBD" (what a lossy
# decoding would make of it). detect prints the name as its bytes.
file(MAKE_DIRECTORY "${WORK}/t�")
execute_process(COMMAND sh -c "\"$0\" rmdir \"$(printf 't\\377')\"" ${BRIM} WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE rc ERROR_VARIABLE err)
require("rmdir of a missing t\\377 (rc ${rc}): ${err}" rc EQUAL 1 AND IS_DIRECTORY "${WORK}/t�")
execute_process(COMMAND sh -c "n=$(printf 't\\377'); mkdir \"$n\" && : >\"$n/a\" && \"$0\" rmdir \"$n\" && test ! -e \"$n\""
  ${BRIM} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc ERROR_VARIABLE err)
require("rmdir t\\377 (rc ${rc}): ${err}" rc EQUAL 0 AND IS_DIRECTORY "${WORK}/t�")
execute_process(COMMAND sh -c "n=$(printf 'b\\376.txt'); echo hi >\"$n\" && \"$0\" detect \"$n\" | od -An -tx1 | tr -d ' \\n'"
  ${BRIM} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc OUTPUT_VARIABLE out)
require("detect b\\376.txt (rc ${rc}): ${out}" rc EQUAL 0 AND out MATCHES "^62fe2e7478743a2041534349490a$")

# rmdir never takes ".", ".." or the root, whatever the separators around them.
file(MAKE_DIRECTORY ${WORK}/keep/inner)
foreach(path keep/.. keep/. keep/./ keep/inner/../ . / //)
  expect(2 "never deleted" rmdir ${path})
endforeach()
require("rmdir of a dot path deleted something" IS_DIRECTORY ${WORK}/keep/inner)

# A convert whose writes fail (here past a file-size limit) leaves no half-written OUT behind. (A
# coverage build writes its counters at exit, past the limit too: they go to a folder of their own.)
file(READ ${SAMPLES}/utf8.txt sample)
string(REPEAT "${sample}" 64 sample)
file(WRITE ${WORK}/big.txt "${sample}")
execute_process(COMMAND env GCOV_PREFIX=${WORK}/cut-counters sh -c "trap '' XFSZ; ulimit -f 1; \"$0\" convert --to utf16 \"$1/big.txt\" \"$1/half.txt\""
  ${BRIM} ${WORK} RESULT_VARIABLE rc ERROR_VARIABLE err)
require("convert past a size limit: rc ${rc}: ${err}" rc EQUAL 1 AND err MATCHES "half\\.txt: BrimException : " AND NOT EXISTS ${WORK}/half.txt)

# A full disk under the log is named, though the writer's text for it is another system message
# (the day file leads to /dev/full; a day that ends meanwhile proves nothing).
string(TIMESTAMP day "%Y-%m-%d")
file(MAKE_DIRECTORY ${WORK}/fulllog)
file(CREATE_LINK /dev/full ${WORK}/fulllog/${day}.log SYMBOLIC)
execute_process(COMMAND ${BRIM} log --folder ${WORK}/fulllog x RESULT_VARIABLE rc ERROR_VARIABLE err)
string(TIMESTAMP after "%Y-%m-%d")
if(day STREQUAL after)
  require("log onto a full disk: rc ${rc}: ${err}" rc EQUAL 1 AND
    err MATCHES "fulllog/${day}\\.log: BrimException : BrimException : [^\n]+ \\(file error 13: the disk is full\\)")
endif()

# log says what happened to the record.
execute_process(COMMAND ${BRIM} log --folder "" x RESULT_VARIABLE rc ERROR_VARIABLE err)
require("log --folder \"\": rc ${rc}: ${err}" rc EQUAL 2 AND err MATCHES "--folder needs")
file(WRITE ${WORK}/plainfile "")
expect(1 "did not reach .*plainfile/" log --folder ${WORK}/plainfile x)
expect(1 "did not reach" log --folder ${WORK}/missing/deeper x)
expect(1 "below the threshold" log --level -1 --folder ${WORK}/logs x)

# Readers take regular files only, and name what stops them.
execute_process(COMMAND mkfifo ${WORK}/fifo)
foreach(command detect cat hexdump)
  execute_process(COMMAND ${BRIM} ${command} ${WORK}/fifo TIMEOUT 20 RESULT_VARIABLE rc ERROR_VARIABLE err)
  require("${command} of a FIFO: rc ${rc}: ${err}" rc EQUAL 1 AND err MATCHES "not a regular file")
endforeach()
string(REPEAT "n" 300 long)
expect(1 "too long" cat ${WORK}/${long}.txt)
expect(1 "too long" convert --to utf8 ${SAMPLES}/utf8.txt ${WORK}/${long}.txt)
file(WRITE ${WORK}/empty.txt "")
expect(0 "empty.txt: " detect ${WORK}/empty.txt)
# 20 MiB: mapped, its pages read ahead by a thread. The verdict still takes
# the last byte; a mark at the start ends the reading while pages are still
# being read ahead.
string(REPEAT "plain text line\n" 1310720 big)
string(ASCII 195 lead)
string(ASCII 255 ff)
string(ASCII 254 fe)
file(WRITE ${WORK}/big.txt "${big}")
file(WRITE ${WORK}/big-tail.txt "${big}${lead}")
file(WRITE ${WORK}/big-mark.txt "${ff}${fe}${big}")
set(big "")
expect(0 "big.txt: ASCII\n.*big-tail.txt: UTF8_NOBOM\n.*big-mark.txt: UTF16_LE\n$"
  detect ${WORK}/big.txt ${WORK}/big-tail.txt ${WORK}/big-mark.txt)
file(REMOVE ${WORK}/big.txt ${WORK}/big-tail.txt ${WORK}/big-mark.txt)

# sort refuses NUL bytes rather than dropping the rest of the input.
execute_process(COMMAND sh -c "printf 'b\\na\\000x\\nc\\n' | \"$0\" sort" ${BRIM} RESULT_VARIABLE rc OUTPUT_VARIABLE out
  ERROR_VARIABLE err)
require("sort of input with a NUL: rc ${rc}: ${out}${err}" rc EQUAL 1 AND err MATCHES "NUL byte \\(line 2\\)")
# A program is not a library the loader can open for its resources.
expect(1 "^brim: /bin/sh: a program, not a shared library[^\n]*\n$" version-info /bin/sh FileVersion)
expect(1 "^brim: [^\n]*missing\\.so: The system cannot find the file specified\\.\n$" version-info ${WORK}/missing.so FileVersion)
