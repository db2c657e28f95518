# Each library exports the headers its users need under its own prefix ("engine/FileRead.h") and
# nothing else: the prefix folder in the build tree holds one forwarding header per exported
# header, so a target that does not link the library cannot include any of them, and its private
# headers cannot be reached from outside at all.
function(tarnwell_export_headers target prefix)
    set(root "${CMAKE_BINARY_DIR}/include/${target}")
    file(REMOVE_RECURSE "${root}")
    foreach(header IN LISTS ARGN)
        file(CONFIGURE OUTPUT "${root}/${prefix}/${header}"
             CONTENT "#include \"${CMAKE_CURRENT_SOURCE_DIR}/${header}\"\n" @ONLY)
    endforeach()
    target_include_directories(${target} PUBLIC "$<BUILD_INTERFACE:${root}>")
endfunction()
