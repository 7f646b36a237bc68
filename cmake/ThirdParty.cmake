# Third-party libraries, never copied into the repository.
# Host: Debian's -dev packages. Windows: zlib from libz-mingw-w64-dev, stb headers
# from libstb-dev, jsoncpp, TinyXML and libjpeg-turbo compiled from Debian's source packages.
# Each appears as one target: vekt::jsoncpp, vekt::tinyxml, vekt::zlib, vekt::stb, vekt::jpeg.

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
  pkg_check_modules(LIBJPEG REQUIRED IMPORTED_TARGET libjpeg)
  add_library(vekt::jpeg ALIAS PkgConfig::LIBJPEG)
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

# libjpeg-turbo through its own build (static, with its NASM SIMD code when nasm
# is there), installed into the build folder: zem.dll links it in and still
# imports only system DLLs.
vekt_debian_source(libjpeg-turbo LIBJPEG_SRC)
include(ExternalProject)
set(_jpeg_prefix ${CMAKE_BINARY_DIR}/libjpeg-turbo)
set(_jpeg_lib ${_jpeg_prefix}/lib/libjpeg.a)
ExternalProject_Add(vekt_libjpeg_build
  SOURCE_DIR ${LIBJPEG_SRC}
  BINARY_DIR ${_jpeg_prefix}-build
  INSTALL_DIR ${_jpeg_prefix}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
    -DCMAKE_INSTALL_LIBDIR=${_jpeg_prefix}/lib
    -DCMAKE_POSITION_INDEPENDENT_CODE=ON
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON
    -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF -DWITH_SIMD=ON
  BUILD_BYPRODUCTS ${_jpeg_lib}
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)
file(MAKE_DIRECTORY ${_jpeg_prefix}/include)
add_library(vekt_jpeg STATIC IMPORTED GLOBAL)
set_target_properties(vekt_jpeg PROPERTIES
  IMPORTED_LOCATION ${_jpeg_lib}
  INTERFACE_INCLUDE_DIRECTORIES ${_jpeg_prefix}/include)
add_dependencies(vekt_jpeg vekt_libjpeg_build)
add_library(vekt::jpeg ALIAS vekt_jpeg)

# Lua 5.1 and 5.3 as a game ships them (DLLs with C exports), for the tests in
# which zem binds a Lua module by path: vekt_lua51 (lua51.dll) and vekt_lua53
# (lua53.dll), both written into ${CMAKE_BINARY_DIR}/lua beside the programs
# that link them.
function(vekt_lua_dll version package)
  vekt_debian_source(${package} _lua_src)
  file(GLOB _lua_c ${_lua_src}/src/*.c)
  list(FILTER _lua_c EXCLUDE REGEX "/(lua|luac|print)\\.c$")
  add_library(vekt_lua${version} SHARED ${_lua_c})
  set_target_properties(vekt_lua${version} PROPERTIES PREFIX "" IMPORT_PREFIX "" OUTPUT_NAME lua${version}
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lua)
  target_compile_definitions(vekt_lua${version} PUBLIC LUA_BUILD_AS_DLL)
  if(version STREQUAL "53")
    target_compile_definitions(vekt_lua${version} PRIVATE LUA_COMPAT_5_2)
  endif()
  target_include_directories(vekt_lua${version} SYSTEM PUBLIC ${_lua_src}/src)
  target_compile_options(vekt_lua${version} PRIVATE -w)
endfunction()
vekt_lua_dll(51 lua5.1)
vekt_lua_dll(53 lua5.3)
