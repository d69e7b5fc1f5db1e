# Programs in C: <GL/gl.h> alone and with the platform's headers as strict C89, with every
# warning an error; both as C99; and the header is still what its generator makes of the data.
set(gl_include -I${PROJECT_SOURCE_DIR} -I${PROJECT_SOURCE_DIR}/platform/opengl32/include)
add_test(NAME gl_header_c89
         COMMAND ${CMAKE_C_COMPILER} -m32 -std=c89 -pedantic -Werror -Wall -Wextra -fsyntax-only ${gl_include}
                 ${CMAKE_CURRENT_LIST_DIR}/c/gl_header_c89.c)
add_test(NAME platform_headers_c89
         COMMAND ${CMAKE_C_COMPILER} -m32 -std=c89 -pedantic -Werror -Wall -Wextra -fsyntax-only ${gl_include}
                 ${CMAKE_CURRENT_LIST_DIR}/c/program_c89.c)
add_test(NAME gl_header_c99
         COMMAND ${CMAKE_C_COMPILER} -m32 -std=c99 -pedantic -Werror -Wall -Wextra -fsyntax-only ${gl_include}
                 ${CMAKE_CURRENT_LIST_DIR}/c/program_c99.c)
find_package(Python3 COMPONENTS Interpreter)
if(Python3_FOUND)
  add_test(NAME gl_header_generated
           COMMAND sh -c "'${Python3_EXECUTABLE}' tools/gen-gl-header.py tools/gl-data/gl11-enums.txt \
tools/gl-data/gl11-dispatch-order.txt icd/core/ext_entries.inc tools/gl-extensions.txt '${PROJECT_BINARY_DIR}/gl.h' \
&& cmp '${PROJECT_BINARY_DIR}/gl.h' platform/opengl32/include/GL/gl.h"
           WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
endif()
# The C example runs inside test_opengl32, which finds it here and so needs it built.
set_tests_properties(opengl32 PROPERTIES ENVIRONMENT "KIV_CEXAMPLE=$<TARGET_FILE:cexample>")
add_dependencies(test_opengl32 cexample)
# A program of one's own built the way the README says, outside CMake, then run.
set(own_flags)
if(KIV_SANITIZERS)
  set(own_flags -fsanitize=${KIV_SANITIZERS})
endif()
add_test(NAME own_program_by_hand
         COMMAND sh -c "'${CMAKE_C_COMPILER}' ${own_flags} $(tools/kiv-flags --cflags) -c apps/cexample/main.c -o '${PROJECT_BINARY_DIR}/own_program.o' && '${CMAKE_CXX_COMPILER}' ${own_flags} -o '${PROJECT_BINARY_DIR}/own_program' '${PROJECT_BINARY_DIR}/own_program.o' $(tools/kiv-flags --libs '${PROJECT_BINARY_DIR}') && tools/i386-run '${PROJECT_BINARY_DIR}/own_program' '${PROJECT_BINARY_DIR}/own_program.png' 32 32"
         WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(own_program_by_hand PROPERTIES RESOURCE_LOCK simulated_machine)
# The tree taken in by another project with add_subdirectory: a program of that project made with
# kiv_program builds and runs.
# The outer build lies beside this one, one folder below the tree, so that the compiler cache
# serves it what this build compiled; each build tree has its own.
get_filename_component(own_build_name ${PROJECT_BINARY_DIR} NAME)
add_test(NAME subproject_build
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/subproject.sh ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/subproject
                 ${PROJECT_SOURCE_DIR}/${own_build_name}-subproject ${PROJECT_SOURCE_DIR}/tools/i386-run)
set_tests_properties(subproject_build PROPERTIES RESOURCE_LOCK simulated_machine TIMEOUT 1800)
