# Compiler strictness shared by every target of the project.
add_library(korvane_options INTERFACE)
target_compile_options(korvane_options INTERFACE -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)
if(KORVANE_WERROR)
    target_compile_options(korvane_options INTERFACE -Werror)
endif()
target_compile_definitions(korvane_options INTERFACE
    QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_DEPRECATED_WARNINGS QT_DISABLE_DEPRECATED_BEFORE=0x050F00)
if(KORVANE_SANITIZE)
    target_compile_options(korvane_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(korvane_options INTERFACE -fsanitize=address,undefined)
endif()

# Embeds a file as a C++ byte array so the binary needs nothing beside it at run time.
function(korvane_embed_file input output symbol)
    file(READ "${input}" hex HEX)
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    file(WRITE "${output}" "// Generated from ${input}; do not edit.\n#include <cstddef>\nextern const unsigned char ${symbol}[] = {${bytes} 0x00};\nextern const std::size_t ${symbol}_size = sizeof(${symbol}) - 1;\n")
endfunction()

# One source tree, two editions: *_linux.* and *_windows.* are built only on their own system, and
# name_windows.cpp takes the place of name.cpp there unless a name_linux.cpp exists (then name.cpp
# is common to both).
function(korvane_select_platform_sources variable)
    set(selected)
    foreach(file ${${variable}})
        get_filename_component(directory "${file}" DIRECTORY)
        get_filename_component(name "${file}" NAME_WLE)
        get_filename_component(extension "${file}" LAST_EXT)
        if(WIN32)
            if(name MATCHES "_linux$" OR (EXISTS "${directory}/${name}_windows${extension}"
                                          AND NOT EXISTS "${directory}/${name}_linux${extension}"))
                continue()
            endif()
        elseif(name MATCHES "_windows$")
            continue()
        endif()
        list(APPEND selected "${file}")
    endforeach()
    set(${variable} ${selected} PARENT_SCOPE)
endfunction()
