# quenzal_add_deployment(<target> ENDPOINT <url>)
# A small library holding the deployment's configuration (see src/engine/deployment.h). The
# optional built-in credentials are turned into "bytes XOR key" arrays inside a generated
# header in the build tree, so the plain text of a credential is never written anywhere.

function(quenzal_obfuscate value key_byte out_var)
    set(bytes "")
    if(NOT "${value}" STREQUAL "")
        string(HEX "${value}" hex)
        string(LENGTH "${hex}" hex_length)
        math(EXPR last "${hex_length} - 2")
        foreach(offset RANGE 0 ${last} 2)
            string(SUBSTRING "${hex}" ${offset} 2 pair)
            math(EXPR byte "0x${pair} ^ ${key_byte}" OUTPUT_FORMAT HEXADECIMAL)
            list(APPEND bytes "${byte}")
        endforeach()
    endif()
    list(JOIN bytes ", " joined)
    if(bytes)
        string(APPEND joined ", ")
    endif()
    set(${out_var} "${joined}" PARENT_SCOPE)
endfunction()

function(quenzal_add_deployment target)
    cmake_parse_arguments(ARG "" "ENDPOINT" "" ${ARGN})
    set(QUENZAL_DEEPSEEK_ENDPOINT "${ARG_ENDPOINT}")
    set(QUENZAL_DEEPSEEK_KEY_BYTE 0x5A)
    set(QUENZAL_TELEGRAM_TOKEN_BYTE 0xA7)
    quenzal_obfuscate("${QUENZAL_BUILTIN_DEEPSEEK_KEY}" ${QUENZAL_DEEPSEEK_KEY_BYTE}
                      QUENZAL_DEEPSEEK_KEY_BYTES)
    quenzal_obfuscate("${QUENZAL_BUILTIN_TELEGRAM_TOKEN}" ${QUENZAL_TELEGRAM_TOKEN_BYTE}
                      QUENZAL_TELEGRAM_TOKEN_BYTES)
    set(dir "${CMAKE_CURRENT_BINARY_DIR}/${target}")
    configure_file("${PROJECT_SOURCE_DIR}/cmake/deploymentconfig.h.in"
                   "${dir}/deploymentconfig.h" @ONLY)
    # Objects, not an archive: linked whole, whatever the order of the libraries after it.
    add_library(${target} OBJECT "${PROJECT_SOURCE_DIR}/src/engine/deployment.cpp")
    target_include_directories(${target} PRIVATE "${dir}"
                               PUBLIC "${PROJECT_SOURCE_DIR}/src/engine")
    target_link_libraries(${target} PUBLIC Qt6::Core)
endfunction()
