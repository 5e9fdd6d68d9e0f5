# Common settings for every target of the project.

function(velmora_defaults target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(VELMORA_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

if(VELMORA_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(VELMORA_FUZZ)
    # Every library the fuzz targets link is instrumented for coverage too.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()
if(VELMORA_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

# velmora_library(NAME SOURCES ...): one static library for one folder.
function(velmora_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    velmora_defaults(${name})
endfunction()

# velmora_test(NAME SOURCES ... LIBS ...): a GoogleTest executable run headless under ctest.
function(velmora_test name)
    cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE velmora_test_support ${T_LIBS} GTest::gtest GTest::gmock)
    velmora_defaults(${name})
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        # One value per property: the discovery script spreads a list over
        # the properties after it.
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
                   TIMEOUT 300
                   # The executable's name, so one suite can be run alone: ctest -L test_wire.
                   LABELS ${name})
endfunction()
