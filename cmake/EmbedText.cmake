# embed_text_files(target files...): turns each text file into a generated
# header "embedded/<stem>.h" holding `inline constexpr std::string_view
# kEmbedded_<stem>` (the stem as a C identifier).
function(embed_text_files target files)
  set(out_dir ${CMAKE_BINARY_DIR}/generated/embedded)
  file(MAKE_DIRECTORY ${out_dir})
  foreach(file IN LISTS files)
    get_filename_component(stem ${file} NAME_WE)
    set(header ${out_dir}/${stem}.h)
    add_custom_command(
      OUTPUT ${header}
      COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${header} -DSTEM=${stem}
              -P ${PROJECT_SOURCE_DIR}/cmake/EmbedOne.cmake
      DEPENDS ${file} ${PROJECT_SOURCE_DIR}/cmake/EmbedOne.cmake
      VERBATIM)
    list(APPEND headers ${header})
  endforeach()
  if(headers)
    add_custom_target(${target}_embedded DEPENDS ${headers})
    add_dependencies(${target} ${target}_embedded)
  endif()
  target_include_directories(${target} PUBLIC ${CMAKE_BINARY_DIR}/generated)
endfunction()
