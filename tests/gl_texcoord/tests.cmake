# The same program once per software road; each switch is read once per process. The plain run
# takes the generated routines as the processor allows (MMX where it has it).
foreach(road "__GL_FORCE_MMX=1" "__GL_FORCE_MMX=0" "__GL_DISABLE_OG=1" "__GL_DISABLE_FAST=1")
  string(REGEX REPLACE "^__GL_([A-Z_]+)=([0-9])$" "\\1_\\2" suffix "${road}")
  string(TOLOWER "${suffix}" suffix)
  add_test(NAME gl_texcoord_${suffix} COMMAND test_gl_texcoord --gtest_brief=1)
  set_tests_properties(gl_texcoord_${suffix} PROPERTIES ENVIRONMENT "${road}"
                       LABELS gl_texcoord TIMEOUT 900 RESOURCE_LOCK simulated_machine)
endforeach()
