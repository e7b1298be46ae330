# Writes the man page and the shell completions by running the built
# command line: cmake -DCLI=path/to/epochsift -DOUT=dir -P write_cli_docs.cmake
foreach(item "man/man1/epochsift.1;--man" "bash-completion/completions/epochsift;--completion;bash"
             "zsh/site-functions/_epochsift;--completion;zsh" "fish/vendor_completions.d/epochsift.fish;--completion;fish")
  list(POP_FRONT item path)
  get_filename_component(dir "${OUT}/${path}" DIRECTORY)
  file(MAKE_DIRECTORY "${dir}")
  execute_process(COMMAND "${CLI}" ${item} OUTPUT_FILE "${OUT}/${path}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${CLI} ${item} failed: ${status}")
  endif()
endforeach()
