# mv_windows_module_host(TARGET)
# A program that loads the windows module (mvwebwindows): it exports its
# symbols and carries the whole of the libraries the module is built on, so
# that every reference of the module to them binds to this program's one
# copy (one data module, one search index, one set of windows).
function(mv_windows_module_host target)
  set_target_properties(${target} PROPERTIES ENABLE_EXPORTS ON)
  set(files)
  foreach(lib mvprogram mvmainwindow mvappshell mvdata mvcategories mvwidgets mvextras)
    list(APPEND files $<TARGET_FILE:${lib}>)
  endforeach()
  target_link_options(${target} PRIVATE "LINKER:--whole-archive" ${files} "LINKER:--no-whole-archive")
  target_link_libraries(${target} PRIVATE mvprogram)
endfunction()
