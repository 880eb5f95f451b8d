# quenzal::whisper: the speech recogniser's library. A whisper found on the system (pkg-config
# "whisper", else its CMake package) is used as it is; otherwise the copy in
# third_party/whisper.cpp is built as static libraries, CPU only. See README, "Build
# configuration", for why its instruction set is fixed at x86-64-v2.
option(QUENZAL_VENDORED_WHISPER "Build the whisper.cpp in third_party/ even if the system has one"
       OFF)

function(quenzal_add_vendored_whisper)
    # Only the libraries: whisper's tests, examples, server and bindings are not ours to build.
    set(CMAKE_POLICY_DEFAULT_CMP0077 NEW) # its option() calls honour the variables set here
    set(BUILD_SHARED_LIBS OFF)
    set(WHISPER_BUILD_TESTS OFF)
    set(WHISPER_BUILD_EXAMPLES OFF)
    set(WHISPER_BUILD_SERVER OFF)
    set(WHISPER_BUILD_IS_DEV OFF)
    set(WHISPER_ALL_WARNINGS OFF)
    set(WHISPER_FATAL_WARNINGS OFF)
    set(GGML_CCACHE OFF) # the launcher is the caller's choice, as for our own code
    set(GGML_OPENMP OFF) # ggml's own thread pool: no libgomp to ship or to hide from ASan
    set(GGML_BACKEND_DL OFF)
    # Runs on any x86-64-v2 CPU (SSE4.2, 2008 on): ggml picks its SIMD paths at compile time
    # unless its backends are shared modules, so AVX and later stay off.
    set(GGML_NATIVE OFF)
    set(GGML_SSE42 ON)
    foreach(feature AVX AVX2 AVX_VNNI BMI2 FMA F16C AVX512 AVX512_VBMI AVX512_VNNI AVX512_BF16
                    AMX_TILE AMX_INT8 AMX_BF16)
        set(GGML_${feature} OFF)
    endforeach()
    # Third-party code: our warnings (and -Werror) are not applied to it; the sanitizers are,
    # so that a fault of ours inside ggml's buffers is still caught.
    set(CMAKE_COMPILE_WARNING_AS_ERROR OFF)
    set(CMAKE_AUTOMOC OFF) # no Qt in it
    # Optimised in debug builds too: at -O0 its kernels take minutes over a test's few seconds
    # of audio, and it is not what we debug.
    string(APPEND CMAKE_C_FLAGS_DEBUG " -O2")
    string(APPEND CMAKE_CXX_FLAGS_DEBUG " -O2")
    get_directory_property(options COMPILE_OPTIONS)
    set(theirs ${options})
    list(REMOVE_ITEM theirs -Wall -Wextra)
    set_directory_properties(PROPERTIES COMPILE_OPTIONS "${theirs}")
    # EXCLUDE_FROM_ALL: built only as far as we link it, and nothing of it is installed.
    add_subdirectory(${PROJECT_SOURCE_DIR}/third_party/whisper.cpp
                     ${PROJECT_BINARY_DIR}/third_party/whisper.cpp EXCLUDE_FROM_ALL)
    set_directory_properties(PROPERTIES COMPILE_OPTIONS "${options}")
endfunction()

if(NOT QUENZAL_VENDORED_WHISPER)
    pkg_check_modules(WHISPER QUIET IMPORTED_TARGET GLOBAL whisper)
    if(WHISPER_FOUND)
        add_library(quenzal::whisper ALIAS PkgConfig::WHISPER)
        message(STATUS "whisper: the system's, ${WHISPER_VERSION} (pkg-config)")
        return()
    endif()
    find_package(whisper CONFIG QUIET)
    if(whisper_FOUND AND TARGET whisper)
        add_library(quenzal_system_whisper INTERFACE)
        target_link_libraries(quenzal_system_whisper INTERFACE whisper)
        add_library(quenzal::whisper ALIAS quenzal_system_whisper)
        message(STATUS "whisper: the system's, ${whisper_VERSION} (CMake package)")
        return()
    endif()
endif()
quenzal_add_vendored_whisper()
add_library(quenzal::whisper ALIAS whisper)
message(STATUS "whisper: third_party/whisper.cpp, built static for x86-64-v2")
