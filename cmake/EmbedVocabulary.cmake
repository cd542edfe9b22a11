# Embeds the published o200k_base vocabulary in the core library after checking
# that the file is the published one. Nothing is read from disk at run time.
set(PP_VOCABULARY_FILE ${CMAKE_CURRENT_SOURCE_DIR}/data/o200k_base.tiktoken)
set(PP_VOCABULARY_SHA256 446a9538cb6c348e3516120d7c08b09f57c36495e2acfffe59a5bf8b0cfb1a2d)

file(SHA256 ${PP_VOCABULARY_FILE} pp_vocabulary_actual_sha256)
if(NOT pp_vocabulary_actual_sha256 STREQUAL PP_VOCABULARY_SHA256)
  message(FATAL_ERROR "${PP_VOCABULARY_FILE} has SHA-256 ${pp_vocabulary_actual_sha256}, "
                      "expected ${PP_VOCABULARY_SHA256}")
endif()

set(PP_VOCABULARY_ASM ${CMAKE_CURRENT_BINARY_DIR}/o200k_base_vocabulary.S)
configure_file(${CMAKE_CURRENT_LIST_DIR}/o200k_base_vocabulary.S.in ${PP_VOCABULARY_ASM} @ONLY)
set_source_files_properties(${PP_VOCABULARY_ASM} PROPERTIES OBJECT_DEPENDS ${PP_VOCABULARY_FILE})
