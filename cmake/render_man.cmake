# Renders one manual page as plain text with CR LF line ends (cmake -P; MANDOC, PAGE, OUT given with -D).
execute_process(COMMAND ${MANDOC} -T ascii ${PAGE}
                OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${MANDOC} -T ascii ${PAGE} failed (${status})")
endif()
# mandoc marks bold and underlined words by overstriking (x BS x, _ BS x);
# a text file wants the bare letters.
string(ASCII 8 backspace)
string(REGEX REPLACE "[^\n]${backspace}" "" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
