# The platform room's sources for one system. What differs between systems comes as a file for
# POSIX systems (Name_posix.cpp) and one that asks only Qt (Name_portable.cpp) behind one header;
# TONVOLA_PLATFORM chooses which of them are built. Sets TONVOLA_PLATFORM_SOURCES.
if(UNIX)
    set(tonvola_platform_default posix)
else()
    set(tonvola_platform_default portable)
endif()
set(TONVOLA_PLATFORM ${tonvola_platform_default} CACHE STRING
    "The platform layer: posix, or portable (only what Qt offers, for systems without POSIX)")
set_property(CACHE TONVOLA_PLATFORM PROPERTY STRINGS posix portable)
if(NOT TONVOLA_PLATFORM MATCHES "^(posix|portable)$")
    message(FATAL_ERROR "TONVOLA_PLATFORM is posix or portable, not '${TONVOLA_PLATFORM}'")
endif()

file(GLOB TONVOLA_PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp ${CMAKE_CURRENT_LIST_DIR}/*.h)
foreach(system IN ITEMS posix portable)
    if(NOT system STREQUAL TONVOLA_PLATFORM)
        list(FILTER TONVOLA_PLATFORM_SOURCES EXCLUDE REGEX "_${system}\\.(cpp|h)$")
    endif()
endforeach()
