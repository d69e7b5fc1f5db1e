# The same program again with the generator off for the whole process (the module reads the
# switch once, when its first context is made).
add_test(NAME icd_codegen_describe_no_generator COMMAND test_icd_codegen_describe --gtest_brief=1)
set_tests_properties(icd_codegen_describe_no_generator PROPERTIES ENVIRONMENT "__GL_DISABLE_OG=1"
                     LABELS icd_codegen_describe TIMEOUT 900 RESOURCE_LOCK simulated_machine)
# And with MMX forbidden, so that the integer one-routine draws what the MMX routine would.
add_test(NAME icd_codegen_describe_no_mmx COMMAND test_icd_codegen_describe --gtest_brief=1)
set_tests_properties(icd_codegen_describe_no_mmx PROPERTIES ENVIRONMENT "__GL_FORCE_MMX=0"
                     LABELS icd_codegen_describe TIMEOUT 900 RESOURCE_LOCK simulated_machine)
add_test(NAME kivbench_notes COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/kivbench_notes.sh ${PROJECT_SOURCE_DIR}/tools/i386-run $<TARGET_FILE:kivbench>)
set_tests_properties(kivbench_notes PROPERTIES LABELS icd_codegen_describe TIMEOUT 900 RESOURCE_LOCK simulated_machine)
