# quenzal_add_deployment(<target> ENDPOINT <url> [MODEL_BASE_URL <url>])
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
    cmake_parse_arguments(ARG "" "ENDPOINT;MODEL_BASE_URL" "" ${ARGN})
    set(QUENZAL_DEEPSEEK_ENDPOINT "${ARG_ENDPOINT}")
    if(DEFINED ARG_MODEL_BASE_URL)
        set(QUENZAL_WHISPER_MODEL_BASE_URL "${ARG_MODEL_BASE_URL}")
    endif()
    set(QUENZAL_DEEPSEEK_KEY_BYTE 0x5A)
    set(QUENZAL_TELEGRAM_TOKEN_BYTE 0xA7)
    if(QUENZAL_REPORT_THREAD_ID STREQUAL "")
        set(QUENZAL_REPORT_THREAD_NUMBER 0)
    else()
        set(QUENZAL_REPORT_THREAD_NUMBER ${QUENZAL_REPORT_THREAD_ID})
    endif()
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

# Problem reports, the about panel and the build's number. Empty values switch the feature off:
# without a chat id the report panel cannot send, without a website the about panel shows no link.
set(QUENZAL_TELEGRAM_API_BASE "https://api.telegram.org" CACHE STRING
    "Telegram Bot API base address; requests go to <base>/bot<token>/<method>")
set(QUENZAL_REPORT_CHAT_ID "" CACHE STRING
    "Telegram chat that receives problem reports (e.g. -1001234567890 or @channel)")
set(QUENZAL_REPORT_THREAD_ID "" CACHE STRING
    "Forum topic within that chat (a positive integer); empty for the chat itself")
set(QUENZAL_WEBSITE_URL "" CACHE STRING "Product website linked from the about panel")
# Speech models are not shipped: the user downloads them once from <base>/ggml-<model>.bin.
set(QUENZAL_WHISPER_MODEL_BASE_URL "https://huggingface.co/ggerganov/whisper.cpp/resolve/main"
    CACHE STRING "Host of the ggml speech models; files are fetched from <base>/ggml-<model>.bin")
set(QUENZAL_BUILD_NUMBER "1" CACHE STRING "Build number shown beside the version")

# Each value lands in a C++ string literal; refuse what would not survive that, or what the
# program would only find out about when a user sends a report.
foreach(variable QUENZAL_TELEGRAM_API_BASE QUENZAL_REPORT_CHAT_ID QUENZAL_WEBSITE_URL
                 QUENZAL_BUILD_NUMBER QUENZAL_WHISPER_MODEL_BASE_URL)
    if("${${variable}}" MATCHES "[\"\\\n]")
        message(FATAL_ERROR "${variable} must not contain quotes, backslashes or line breaks")
    endif()
endforeach()
if(NOT QUENZAL_REPORT_CHAT_ID STREQUAL ""
   AND NOT QUENZAL_REPORT_CHAT_ID MATCHES "^(-?[0-9]+|@[A-Za-z0-9_]+)$")
    message(FATAL_ERROR "QUENZAL_REPORT_CHAT_ID must be a chat number or an @username")
endif()
if(NOT QUENZAL_REPORT_THREAD_ID STREQUAL ""
   AND NOT QUENZAL_REPORT_THREAD_ID MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "QUENZAL_REPORT_THREAD_ID must be a positive integer or empty")
endif()
