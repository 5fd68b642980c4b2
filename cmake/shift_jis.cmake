# Makes the Shift_JIS form of the message table: cmake -DIN=messages.h -DOUT=... -P this.
# The table is converted whole by iconv to code page 932, and every byte of a character
# outside ASCII written as an octal escape, so that no compiler has to encode Shift_JIS
# literals (clang cannot) and no trail byte that reads as a backslash or a quote ends a
# literal. The copy's table macro is named WAVPAIR_MESSAGES_SJIS.
execute_process(COMMAND iconv -f UTF-8 -t CP932 "${IN}" OUTPUT_FILE "${OUT}.cp932"
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "iconv could not convert ${IN} to code page 932 (CP932)")
endif()
file(READ "${OUT}.cp932" hex HEX)
file(REMOVE "${OUT}.cp932")
string(LENGTH "${hex}" n)
set(text "")
set(trail FALSE)
math(EXPR last "${n} - 2")
foreach(at RANGE 0 ${last} 2)
  string(SUBSTRING "${hex}" ${at} 2 byte)
  math(EXPR c "0x${byte}")
  if(c GREATER_EQUAL 128 OR trail)
    # A lead byte (0x81-0x9F, 0xE0-0xFC) takes the next byte with it, whatever it is.
    if(NOT trail AND ((c GREATER_EQUAL 129 AND c LESS_EQUAL 159) OR c GREATER_EQUAL 224))
      set(trail TRUE)
    else()
      set(trail FALSE)
    endif()
    math(EXPR d0 "${c} / 64")
    math(EXPR d1 "${c} / 8 % 8")
    math(EXPR d2 "${c} % 8")
    string(APPEND text "\\${d0}${d1}${d2}")
  else()
    string(ASCII ${c} char)
    string(APPEND text "${char}")
  endif()
endforeach()
string(REPLACE "WAVPAIR_MESSAGES(X)" "WAVPAIR_MESSAGES_SJIS(X)" text "${text}")
file(WRITE "${OUT}.new" "${text}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
