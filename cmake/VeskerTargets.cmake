# Helpers shared by the tree's CMake files.

# vesker_add_wine_test(<name> SOURCES <files...> [LIBS <targets...>] [WRAPPER <script>])
# Builds a GoogleTest program into build/bin and registers it as one ctest entry
# that runs under Wine (one Wine process start per program). A WRAPPER runs it
# instead of scripts/wine-exec, with the same arguments.
function(vesker_add_wine_test name)
    cmake_parse_arguments(ARG "" "WRAPPER" "SOURCES;LIBS" ${ARGN})
    if(NOT ARG_WRAPPER)
        set(ARG_WRAPPER ${CMAKE_SOURCE_DIR}/scripts/wine-exec)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE vesker_gtest ${ARG_LIBS})
    target_link_options(${name} PRIVATE ${VESKER_PROGRAM_LINK_FLAGS})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
    # Every program runs beside the built DLLs, so the stand-in archiver is found.
    add_dependencies(${name} vesker unlha32_standin)
    add_test(NAME ${name}
        COMMAND ${ARG_WRAPPER} ${CMAKE_BINARY_DIR}
                $<TARGET_FILE:${name}> --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES TIMEOUT 600)
    if(name IN_LIST VESKER_SHARED_REGISTRY_TESTS)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK hkcu_software)
    endif()
endfunction()

# vesker_add_host_test(<name> <command...>): a check that runs on the build machine.
function(vesker_add_host_test name)
    add_test(NAME ${name} COMMAND ${ARGN})
endfunction()
