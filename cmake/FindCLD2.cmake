# FindCLD2: the Compact Language Detector 2 (Debian package libcld2-dev).
#
# Defines the imported target CLD2::CLD2, and CLD2_FOUND, CLD2_INCLUDE_DIR, CLD2_CORE_LIBRARY
# and CLD2_FULL_TABLES_LIBRARY. Link the target: neither library does on its own.
#
# Debian's libcld2_full holds only CLD2's full tables, which stand in for libcld2's default ones
# at load time: it has to come before libcld2 on the link line and, as nothing calls into it,
# must escape --as-needed. The target's link interface says so, and nobody else needs to.

find_path(CLD2_INCLUDE_DIR NAMES cld2/public/compact_lang_det.h)
find_library(CLD2_CORE_LIBRARY NAMES cld2)
find_library(CLD2_FULL_TABLES_LIBRARY NAMES cld2_full)
mark_as_advanced(CLD2_INCLUDE_DIR CLD2_CORE_LIBRARY CLD2_FULL_TABLES_LIBRARY)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(CLD2
    REQUIRED_VARS CLD2_CORE_LIBRARY CLD2_FULL_TABLES_LIBRARY CLD2_INCLUDE_DIR)

if(CLD2_FOUND AND NOT TARGET CLD2::CLD2)
    add_library(CLD2::CLD2 INTERFACE IMPORTED)
    set_target_properties(CLD2::CLD2 PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES "${CLD2_INCLUDE_DIR}"
        INTERFACE_LINK_LIBRARIES
            "-Wl,--push-state,--no-as-needed;${CLD2_FULL_TABLES_LIBRARY};-Wl,--pop-state;${CLD2_CORE_LIBRARY}")
endif()
