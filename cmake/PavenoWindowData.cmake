# paveno_window_data(TARGET target SOURCE file.json [NAME name] [NAMESPACE ns] [DEFINES KEY=VALUE...])
#
# Compiles a window data source with paveno-wdc into ${CMAKE_CURRENT_BINARY_DIR}/windowdata/<name>/: <name>.cpp
# (the embedded block, the handler table, the program header), <name>.h (id constants, handler declarations),
# <name>.handlers.txt and windowdata.bin. The target gets the source and the folder on its include path. The step
# reruns only when the source or a file it names (a picture) changes; unchanged outputs keep their time stamps.
function(paveno_window_data)
  cmake_parse_arguments(WD "" "TARGET;SOURCE;NAME;NAMESPACE" "DEFINES" ${ARGN})
  if(NOT WD_TARGET OR NOT WD_SOURCE)
    message(FATAL_ERROR "paveno_window_data needs TARGET and SOURCE")
  endif()
  get_filename_component(_src "${WD_SOURCE}" ABSOLUTE)
  if(NOT WD_NAME)
    get_filename_component(WD_NAME "${_src}" NAME_WE)
  endif()
  if(NOT WD_NAMESPACE)
    set(WD_NAMESPACE windows)
  endif()
  set(_out "${CMAKE_CURRENT_BINARY_DIR}/windowdata/${WD_NAME}")
  set(_defines)
  foreach(_d IN LISTS WD_DEFINES)
    list(APPEND _defines --define "${_d}")
  endforeach()
  add_custom_command(
    OUTPUT "${_out}/${WD_NAME}.cpp" "${_out}/${WD_NAME}.h" "${_out}/windowdata.bin" "${_out}/${WD_NAME}.handlers.txt"
    COMMAND paveno-wdc "${_src}" --out-dir "${_out}" --name "${WD_NAME}" --namespace "${WD_NAMESPACE}" ${_defines}
            --depfile "${_out}/${WD_NAME}.d"
    DEPENDS "${_src}" paveno-wdc
    DEPFILE "${_out}/${WD_NAME}.d"
    COMMENT "Compiling window data ${WD_NAME}"
    VERBATIM)
  target_sources(${WD_TARGET} PRIVATE "${_out}/${WD_NAME}.cpp" "${_out}/${WD_NAME}.h")
  target_include_directories(${WD_TARGET} PUBLIC "${_out}")
endfunction()
