# Third-party libraries, never copied into the repository.
# Host: Debian's -dev packages. Windows: zlib from libz-mingw-w64-dev, stb headers
# from libstb-dev, jsoncpp and TinyXML compiled from Debian's source packages.
# Each appears as one target: vekt::jsoncpp, vekt::tinyxml, vekt::zlib, vekt::stb.

find_path(VEKT_STB_INCLUDE_DIR stb_image.h PATHS /usr/include/stb NO_CMAKE_FIND_ROOT_PATH REQUIRED)
add_library(vekt_stb INTERFACE)
target_include_directories(vekt_stb SYSTEM INTERFACE ${VEKT_STB_INCLUDE_DIR})
add_library(vekt::stb ALIAS vekt_stb)

if(WIN32)
  # The static library: the shipped programs import system DLLs only.
  find_library(VEKT_ZLIB_STATIC NAMES libz.a REQUIRED)
  find_path(VEKT_ZLIB_INCLUDE_DIR zlib.h REQUIRED)
  add_library(vekt_zlib INTERFACE)
  target_include_directories(vekt_zlib SYSTEM INTERFACE ${VEKT_ZLIB_INCLUDE_DIR})
  target_link_libraries(vekt_zlib INTERFACE ${VEKT_ZLIB_STATIC})
  add_library(vekt::zlib ALIAS vekt_zlib)
else()
  find_package(ZLIB REQUIRED)
  add_library(vekt::zlib ALIAS ZLIB::ZLIB)
endif()

if(NOT WIN32)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
  pkg_check_modules(TINYXML REQUIRED IMPORTED_TARGET tinyxml)
  add_library(vekt::jsoncpp ALIAS PkgConfig::JSONCPP)
  add_library(vekt::tinyxml ALIAS PkgConfig::TINYXML)
  return()
endif()

set(VEKT_DEBIAN_SOURCES ${CMAKE_BINARY_DIR}/debian-src)

function(vekt_debian_source package out_var)
  execute_process(
    COMMAND ${PROJECT_SOURCE_DIR}/tools/fetch-debian-source.sh ${package} ${VEKT_DEBIAN_SOURCES}
    OUTPUT_VARIABLE dir OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT IS_DIRECTORY "${dir}")
    message(FATAL_ERROR "Could not unpack Debian source package ${package}; run tools/install-deps.sh")
  endif()
  set(${out_var} ${dir} PARENT_SCOPE)
endfunction()

vekt_debian_source(libjsoncpp JSONCPP_SRC)
file(GLOB _jsoncpp_sources ${JSONCPP_SRC}/src/lib_json/*.cpp)
add_library(vekt_jsoncpp STATIC ${_jsoncpp_sources})
target_include_directories(vekt_jsoncpp SYSTEM PUBLIC ${JSONCPP_SRC}/include)
target_compile_options(vekt_jsoncpp PRIVATE -w)
add_library(vekt::jsoncpp ALIAS vekt_jsoncpp)

vekt_debian_source(tinyxml TINYXML_SRC)
add_library(vekt_tinyxml STATIC
  ${TINYXML_SRC}/tinystr.cpp ${TINYXML_SRC}/tinyxml.cpp
  ${TINYXML_SRC}/tinyxmlerror.cpp ${TINYXML_SRC}/tinyxmlparser.cpp)
target_include_directories(vekt_tinyxml SYSTEM PUBLIC ${TINYXML_SRC})
target_compile_definitions(vekt_tinyxml PUBLIC TIXML_USE_STL)
target_compile_options(vekt_tinyxml PRIVATE -w)
add_library(vekt::tinyxml ALIAS vekt_tinyxml)
