# DLLs of the system that are not on its known-DLL list are delay-loaded: a
# statically imported one would be looked for in the executable's own folder
# (a Downloads folder, where anybody may have put a DLL of that name) before the
# program's first line, which then asks Windows to search the system folder only
# (SetDefaultDllDirectories). Each DLL gets a delay import library made by
# dlltool from the functions the product uses (delay-load/<dll>.def); link
# kelm_delay_<dll> instead of <dll>. A function not listed there fails the link.
find_program(KELM_DLLTOOL ${KELM_MINGW_PREFIX}-dlltool REQUIRED)
set(KELM_DELAY_LOAD_DIR ${CMAKE_BINARY_DIR}/delay-load)
file(MAKE_DIRECTORY ${KELM_DELAY_LOAD_DIR})
foreach(dll d2d1 dwrite msimg32 oleacc bcrypt msi wininet)
    set(definition ${CMAKE_CURRENT_LIST_DIR}/delay-load/${dll}.def)
    set(library ${KELM_DELAY_LOAD_DIR}/lib${dll}_delay.a)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${definition})
    execute_process(COMMAND ${KELM_DLLTOOL} -d ${definition} -y ${library}
                    RESULT_VARIABLE made)
    if(NOT made EQUAL 0)
        message(FATAL_ERROR "dlltool could not make the delay import library of ${dll}")
    endif()
    add_library(kelm_delay_${dll} INTERFACE)
    target_link_libraries(kelm_delay_${dll} INTERFACE ${library})
endforeach()
