# Turns a file into a C++ source holding its bytes, so that resources are compiled
# into the program and never looked up at run time.
#   quorvane_embed(OUT_VAR NAME file) -> generated .cpp defining
#   std::string_view quorvane::resources::NAME()
function(quorvane_embed out_var name file)
  set(input "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
  set(output "${CMAKE_CURRENT_BINARY_DIR}/embedded_${name}.cpp")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND ${CMAKE_COMMAND} -DINPUT=${input} -DOUTPUT=${output} -DNAME=${name}
            -P "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
    DEPENDS "${input}" "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake"
    COMMENT "Embedding ${file}")
  set(${out_var} "${output}" PARENT_SCOPE)
endfunction()
