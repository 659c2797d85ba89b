# The size of the program's file in its version resource, as the title shows it ("Nachtriegel 0.<size>").
#   cmake -DPROGRAM=<first link> -DRC=<product.rc> -P version-size.cmake
#       writes the product's resource script: the measured size, then Nachtriegel.rc
#   cmake -DPROGRAM=<second link> -DRC=<product.rc> -DCHECK=1 -P version-size.cmake
#       fails unless the program has exactly the size that its resource script names
# The binary version's words hold 16 bits: a larger file gets 0 there (the texts keep the size).
file(SIZE "${PROGRAM}" size)
if(CHECK)
    file(STRINGS "${RC}" line REGEX "^#define NT_VERSION_TEXT ")
    if(NOT line STREQUAL "#define NT_VERSION_TEXT \"0.${size}\"")
        file(REMOVE "${PROGRAM}")
        message(FATAL_ERROR "${PROGRAM} has ${size} bytes, but its version resource says ${line}")
    endif()
    return()
endif()
string(LENGTH "${size}" digits)
if(NOT digits EQUAL 5)
    # The first link carries five digits; another number of digits could change the size again.
    message(FATAL_ERROR "${PROGRAM}: expected a size of five digits, got ${size}")
endif()
set(word ${size})
if(size GREATER 65535)
    set(word 0)
endif()
file(CONFIGURE OUTPUT "${RC}" CONTENT
    "#define NT_VERSION_WORD ${word}\n#define NT_VERSION_TEXT \"0.${size}\"\n#include \"Nachtriegel.rc\"\n")
