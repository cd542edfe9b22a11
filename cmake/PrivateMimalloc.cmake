# mimalloc from the cmeel-mimalloc wheel, linked statically as a private copy.
#
# The published object also defines malloc, free and operator new/delete. Linked
# as it is, those definitions would take over every allocation made from this
# shared object, including blocks that libstdc++ frees with the system allocator.
# objcopy therefore keeps only the mi_* symbols global: the module calls mimalloc
# explicitly (through the allocator in memory.h) and the host's allocator stays
# untouched.
execute_process(
  COMMAND ${Python_EXECUTABLE} -c
    "import os, sys; print(next(os.path.join(p, 'cmeel.prefix') for p in sys.path if os.path.isdir(os.path.join(p, 'cmeel.prefix', 'include'))))"
  OUTPUT_VARIABLE PP_CMEEL_PREFIX OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE pp_cmeel_result)
if(NOT pp_cmeel_result EQUAL 0)
  message(FATAL_ERROR "mimalloc not found: pip install cmeel-mimalloc")
endif()
file(GLOB PP_MIMALLOC_INCLUDE ${PP_CMEEL_PREFIX}/include/mimalloc-*)
file(GLOB PP_MIMALLOC_OBJECT ${PP_CMEEL_PREFIX}/lib/mimalloc-*/mimalloc.o)
if(NOT PP_MIMALLOC_INCLUDE OR NOT PP_MIMALLOC_OBJECT)
  message(FATAL_ERROR "cmeel-mimalloc under ${PP_CMEEL_PREFIX} lacks mimalloc.h or mimalloc.o")
endif()

find_program(PP_OBJCOPY NAMES objcopy REQUIRED)
set(PP_MIMALLOC_PRIVATE_OBJECT ${CMAKE_CURRENT_BINARY_DIR}/mimalloc_private.o)
add_custom_command(
  OUTPUT ${PP_MIMALLOC_PRIVATE_OBJECT}
  COMMAND ${PP_OBJCOPY} --wildcard --keep-global-symbol=mi_* --keep-global-symbol=_mi_*
          ${PP_MIMALLOC_OBJECT} ${PP_MIMALLOC_PRIVATE_OBJECT}
  DEPENDS ${PP_MIMALLOC_OBJECT}
  COMMENT "Localizing mimalloc's malloc/free overrides")
add_custom_target(pp_mimalloc_private_object DEPENDS ${PP_MIMALLOC_PRIVATE_OBJECT})

add_library(pp_private_mimalloc INTERFACE)
add_dependencies(pp_private_mimalloc pp_mimalloc_private_object)
target_include_directories(pp_private_mimalloc INTERFACE ${PP_MIMALLOC_INCLUDE})
target_link_libraries(pp_private_mimalloc INTERFACE ${PP_MIMALLOC_PRIVATE_OBJECT} Threads::Threads)
