# Compiles each installed public header alone in a translation unit, with only the installed
# include folder on the include path, and fails when one does not compile cleanly or reads a
# header of zlib, libpng or Qt (the compiler's -H trace names every header it opens).
file(GLOB headers RELATIVE ${PREFIX}/include ${PREFIX}/include/zok/*.h)
if(NOT headers)
    message(FATAL_ERROR "no public headers in ${PREFIX}/include/zok")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
foreach(header IN LISTS headers)
    string(MAKE_C_IDENTIFIER ${header} name)
    set(unit ${WORK_DIR}/${name}.cpp)
    file(WRITE ${unit} "#include \"${header}\"\n")
    execute_process(
        COMMAND ${CXX} -std=c++17 -Wall -Wextra -Wpedantic -Werror -fsyntax-only -H
                -I${PREFIX}/include ${unit}
        RESULT_VARIABLE result ERROR_VARIABLE trace)
    if(NOT result EQUAL 0)
        message(SEND_ERROR "${header} does not compile on its own:\n${trace}")
        continue()
    endif()
    string(REGEX MATCHALL "[^\n]*(/png\\.h|/pngconf\\.h|/zlib\\.h|/zconf\\.h|/Qt[A-Za-z]*/|/qt[56]/)[^\n]*"
        exposed "${trace}")
    if(exposed)
        string(REPLACE ";" "\n" exposed "${exposed}")
        message(SEND_ERROR "${header} pulls in headers of zlib, libpng or Qt:\n${exposed}")
    endif()
endforeach()
list(LENGTH headers count)
message(STATUS "${count} public headers checked")
