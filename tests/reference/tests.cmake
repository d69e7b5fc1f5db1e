# The scenes in C, drawn here through opengl32 and on the host by the reference renderer.
target_sources(test_reference PRIVATE ${CMAKE_CURRENT_LIST_DIR}/scenes.c)
set(reference_dir ${PROJECT_BINARY_DIR}/reference)
target_compile_definitions(test_reference PRIVATE KIV_REFERENCE_DIR="${reference_dir}")
# The host's own C compiler (the toolchain's adds -m32).
find_program(KIV_HOST_CC NAMES cc gcc REQUIRED)
add_test(NAME reference_pictures
         COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/make_pictures.sh ${KIV_HOST_CC} ${CMAKE_CURRENT_LIST_DIR} ${reference_dir})
set_tests_properties(reference_pictures PROPERTIES FIXTURES_SETUP reference_pictures LABELS reference TIMEOUT 900)
# The roads: the chip in a window (the folder's own test), and in plain memory the generic
# rasteriser alone, the fast chains without generated code, generated code with MMX and without.
set_tests_properties(reference PROPERTIES FIXTURES_REQUIRED reference_pictures)
foreach(road "generic|__GL_DISABLE_FAST=1|__GL_DISABLE_OG=1" "fast|__GL_DISABLE_OG=1" "og_mmx|__GL_FORCE_MMX=1"
        "og_c|__GL_FORCE_MMX=0")
  string(REPLACE "|" ";" road "${road}")
  list(POP_FRONT road name)
  add_test(NAME reference_${name} COMMAND test_reference --gtest_brief=1)
  set_tests_properties(reference_${name} PROPERTIES ENVIRONMENT "KIV_REFERENCE_ROAD=${name};${road}"
                       FIXTURES_REQUIRED reference_pictures LABELS reference TIMEOUT 900
                       RESOURCE_LOCK simulated_machine)
endforeach()
