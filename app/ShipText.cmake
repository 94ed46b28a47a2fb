# Writes a text file for Windows readers: UTF-8 with a byte order mark, so that
# any code page shows it right, and CRLF line ends.
# cmake -DIN=source.txt -DOUT=shipped.txt -P ShipText.cmake
string(ASCII 239 187 191 bom)
string(ASCII 13 cr)
file(READ "${IN}" text)
string(REPLACE "\n" "${cr}\n" text "${text}")
file(WRITE "${OUT}" "${bom}${text}")
