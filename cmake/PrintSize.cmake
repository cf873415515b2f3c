# Prints a built file's size:  cmake -DFILE=... -P PrintSize.cmake
file(SIZE "${FILE}" size)
math(EXPR kib "${size} / 1024")
get_filename_component(name "${FILE}" NAME)
message(STATUS "${name}: ${size} bytes (${kib} KiB)")
