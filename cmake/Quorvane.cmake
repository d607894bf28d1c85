# Helpers shared by every folder's CMakeLists.txt.

# Adds each folder below the given roots that holds a CMakeLists.txt, parents first.
function(qv_add_all_subdirectories)
    foreach(root IN LISTS ARGN)
        file(GLOB_RECURSE lists CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
             ${CMAKE_CURRENT_SOURCE_DIR}/${root}/CMakeLists.txt)
        list(SORT lists)
        foreach(list IN LISTS lists)
            get_filename_component(dir ${list} DIRECTORY)
            add_subdirectory(${dir})
        endforeach()
    endforeach()
endfunction()

# qv_library(<name> [QT]) : a static library `qv_<name>` with the alias `qv::<name>` built from
# every .cpp/.h in the calling folder. Include paths are rooted at src/.
function(qv_library name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    add_library(qv_${name} STATIC ${sources} ${ARGN})
    add_library(qv::${name} ALIAS qv_${name})
    target_include_directories(qv_${name} PUBLIC ${QV_SOURCE_ROOT}/src ${CMAKE_BINARY_DIR}/generated)
endfunction()

# qv_test(<name> LABELS l... LIBS lib... [SOURCES s...] [ENVIRONMENT K=V...] [PROPERTIES p v...])
# One GoogleTest executable; tests are discovered when CTest runs (so Qt tests that open a
# display are only listed under Xvfb). Without SOURCES every .cpp of the folder is used.
function(qv_test name)
    cmake_parse_arguments(T "" "" "LABELS;LIBS;SOURCES;ENVIRONMENT;PROPERTIES" ${ARGN})
    if(NOT T_SOURCES)
        file(GLOB T_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    endif()
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock)
    target_include_directories(${name} PRIVATE ${QV_SOURCE_ROOT}/src ${QV_SOURCE_ROOT}/tests)
    target_compile_definitions(${name} PRIVATE QV_TEST_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
                               QV_TEST_FIXTURES_DIR="${QV_SOURCE_ROOT}/tests/fixtures")
    # The environment travels with the launcher (tests/support/run-test K=V ... test), used for
    # discovery and runs alike. Labels go on the folder: discovery would split a list-valued
    # test property.
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
                          "${QV_SOURCE_ROOT}/tests/support/run-test;QV_RESOURCES_DIR=${QV_RESOURCES_DIR};${T_ENVIRONMENT}")
    set_property(DIRECTORY APPEND PROPERTY LABELS ${T_LABELS})
    if(T_PROPERTIES)
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 PROPERTIES ${T_PROPERTIES})
    else()
        gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60)
    endif()
endfunction()

# qv_desktop_test(<executable> <test name> LIBS lib...)
# A GoogleTest executable of the folder's .cpp files, run whole as one CTest case (label qt) on a
# virtual display of its own with a window manager (scripts/virtual-desktop): for tests that move
# the real pointer, so that no other test's window is in its way.
function(qv_desktop_test name test)
    cmake_parse_arguments(T "" "" "LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest)
    target_include_directories(${name} PRIVATE ${QV_SOURCE_ROOT}/src ${QV_SOURCE_ROOT}/tests)
    add_test(NAME ${test} COMMAND ${QV_SOURCE_ROOT}/scripts/virtual-desktop $<TARGET_FILE:${name}>)
    set_tests_properties(${test} PROPERTIES LABELS qt ENVIRONMENT "QT_QPA_PLATFORM=xcb")
endfunction()
