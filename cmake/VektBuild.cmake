# Build-wide switches shared by every target.
if(WIN32)
  set(VEKT_WINDOWS ON)
  # Both builds run under Wine: PE32+ under wine64, the shipped PE32 under
  # 32-bit Wine emulated by qemu (tools/wine32).
  set(VEKT_WINE_TESTS ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VEKT_WINE_ARCH win64)
  else()
    set(VEKT_WINE_ARCH win32)
  endif()
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  # One self-contained file per deliverable: no libgcc/libstdc++/winpthread DLLs.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  set(VEKT_WINDOWS OFF)
  set(VEKT_WINE_TESTS OFF)
endif()

set(VEKT_WARNINGS -Wall -Wextra)

function(vekt_warnings target)
  target_compile_options(${target} PRIVATE ${VEKT_WARNINGS})
endfunction()

# Fuzz targets see coverage and sanitizer checks in the libraries they drive, not only in their own file.
if(VEKT_FUZZ AND NOT WIN32)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(VEKT_SANITIZE AND NOT WIN32)
  string(REPLACE ";" "," _san "${VEKT_SANITIZE}")
  add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_san})
endif()

# A shared library whose file name is exactly <name>.dll (no "lib" prefix).
function(vekt_plain_shared_library target)
  set_target_properties(${target} PROPERTIES PREFIX "" IMPORT_PREFIX "")
endfunction()

# The names of the functions an integrators' header under sdk/include declares
# (one declaration a line: "... <X>_CALL Name(" or "... ZEM_STDCALL Name("), so
# export lists are read from the header the library itself compiles against.
function(vekt_sdk_exports header out)
  file(STRINGS ${PROJECT_SOURCE_DIR}/sdk/include/${header} lines REGEX "_(CALL|STDCALL) [A-Za-z_][A-Za-z0-9_]*\\(")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX MATCH "_(CALL|STDCALL) ([A-Za-z_][A-Za-z0-9_]*)\\(" _ "${line}")
    list(APPEND names ${CMAKE_MATCH_2})
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sdk/include/${header})
  set(${out} ${names} PARENT_SCOPE)
endfunction()
