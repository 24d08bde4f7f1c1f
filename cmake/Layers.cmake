# Each layer's library sees the headers of its own folder and of the layers it
# links, and no others: its public include directory holds a single link, to
# its own folder. A lower layer that includes a higher one's header fails to
# compile, and one that calls into a higher layer fails to link.
function(vaskor_layer target folder)
  set(dir ${CMAKE_BINARY_DIR}/layers/${target})
  file(MAKE_DIRECTORY ${dir})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${dir}/${folder} SYMBOLIC)
  target_include_directories(${target} PUBLIC ${dir})
endfunction()
