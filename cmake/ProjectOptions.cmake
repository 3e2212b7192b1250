# One INTERFACE target carries the warnings, the strict Qt defines and the
# sanitizer flags for every target of the project.
add_library(zv_options INTERFACE)

target_compile_options(zv_options INTERFACE
  -Wall -Wextra -Wpedantic -Wno-missing-field-initializers
  # the baseline users have; hot loops add runtime-dispatched AVX2 paths
  -march=x86-64-v2)
if(ZV_WERROR)
  target_compile_options(zv_options INTERFACE -Werror)
endif()

target_compile_definitions(zv_options INTERFACE
  QT_NO_KEYWORDS
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_FOREACH
  QT_USE_QSTRINGBUILDER
  ZV_APPLICATION_ID="${ZV_APPLICATION_ID}"
  ZV_VERSION="${PROJECT_VERSION}")

if(ZV_SANITIZE)
  target_compile_options(zv_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(zv_options INTERFACE -fsanitize=address,undefined)
endif()
# Coverage for libFuzzer in every library; only the fuzz targets link its driver.
if(ZV_FUZZ)
  target_compile_options(zv_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(zv_options INTERFACE -fsanitize=address,undefined)
endif()
if(ZV_TSAN)
  target_compile_options(zv_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(zv_options INTERFACE -fsanitize=thread)
endif()

# zv_add_library(<target> LIBS ...): the library of one subsystem folder, made of
# every header and source file in that folder and its part folders.
function(zv_add_library name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC zv_options ${ARG_LIBS})
endfunction()
