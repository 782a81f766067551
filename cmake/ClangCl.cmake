# Windows binaries built the Visual C++ way inside any build of this tree: clang-cl and lld-link in
# MSVC mode, for x86 or x64, with no runtime library of their own. System DLLs (msvcrt.dll,
# kernel32.dll, ...) and our own DLLs are reached through import libraries that llvm-dlltool
# makes from small .def files. Everything is a custom command, so the build's own toolchain
# (MinGW, g++) is untouched and one build can make binaries for both architectures.
#
#   vantor_msvc_import_library(NAME DEF file ARCH x86|x64)
#     Import library NAME for the DLL the .def file names. Write x86 __stdcall functions with
#     their argument size (GetStdHandle@4): the x86 library links the decorated symbol and
#     imports the plain name; the x64 one drops the size.
#   vantor_msvc_binary(NAME ARCH x86|x64 OUTPUT file SOURCES ... [DLL] [ENTRY symbol]
#                      [DEF file] [LIBS ...] [INCLUDES ...])
#     An .exe (console, starting at ENTRY) or, with DLL, a .dll (no entry point unless ENTRY;
#     exports from __declspec(dllexport) and the .def file), written to OUTPUT. LIBS are names
#     given to vantor_msvc_import_library or other DLLs made here (their import libraries).
#     Headers are tracked through dependency files.
# Each creates a custom target NAME; the property VANTOR_MSVC_LIB of a DLL or import library
# target holds its import library's path.

find_program(VANTOR_CLANG_CL clang-cl HINTS /usr/lib/llvm-14/bin REQUIRED)
find_program(VANTOR_LLD_LINK lld-link HINTS /usr/lib/llvm-14/bin REQUIRED)
find_program(VANTOR_LLVM_DLLTOOL llvm-dlltool HINTS /usr/lib/llvm-14/bin REQUIRED)

function(_vantor_msvc_arch arch)
  if(arch STREQUAL "x86")
    set(triple i686-pc-windows-msvc PARENT_SCOPE)
    set(machine i386 PARENT_SCOPE)
  elseif(arch STREQUAL "x64")
    set(triple x86_64-pc-windows-msvc PARENT_SCOPE)
    set(machine i386:x86-64 PARENT_SCOPE)
  else()
    message(FATAL_ERROR "clang-cl binaries: ARCH is x86 or x64, not '${arch}'")
  endif()
endfunction()

function(vantor_msvc_import_library name)
  cmake_parse_arguments(M "" "DEF;ARCH" "" ${ARGN})
  _vantor_msvc_arch(${M_ARCH})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/msvc-${M_ARCH})
  set(lib ${dir}/${name}.lib)
  if(M_ARCH STREQUAL "x86")
    set(def ${M_DEF})
    set(kill -k)
  else()
    # x64 has one calling convention and no argument sizes in its names.
    file(READ ${M_DEF} text)
    string(REGEX REPLACE "@[0-9]+([ \t\r]*\n)" "\\1" text "${text}")
    set(def ${dir}/${name}.def)
    file(WRITE ${def}.new "${text}")
    file(COPY_FILE ${def}.new ${def} ONLY_IF_DIFFERENT)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${M_DEF})
    set(kill)
  endif()
  add_custom_command(OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${VANTOR_LLVM_DLLTOOL} -m ${machine} ${kill} -d ${def} -l ${lib}
    DEPENDS ${def}
    COMMENT "Import library ${name}.lib (${M_ARCH}, for clang-cl binaries)")
  add_custom_target(${name} DEPENDS ${lib})
  set_target_properties(${name} PROPERTIES VANTOR_MSVC_LIB ${lib})
endfunction()

function(vantor_msvc_binary name)
  cmake_parse_arguments(M "DLL" "ARCH;OUTPUT;ENTRY;DEF" "SOURCES;LIBS;INCLUDES" ${ARGN})
  _vantor_msvc_arch(${M_ARCH})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/msvc-${M_ARCH}/${name})
  set(objects)
  foreach(source IN LISTS M_SOURCES)
    get_filename_component(source ${source} ABSOLUTE)
    get_filename_component(stem ${source} NAME_WE)
    set(object ${dir}/${stem}.obj)
    set(includes ${M_INCLUDES})
    list(TRANSFORM includes PREPEND /I)
    # No default library names (/Zl), no security cookie (/GS-): nothing but what LIBS give.
    # A source path after "--", since clang-cl reads a leading "/" as an option.
    add_custom_command(OUTPUT ${object}
      COMMAND ${VANTOR_CLANG_CL} --target=${triple} /nologo /c /std:c++20 /O2 /EHsc /GS- /Zl
        /W4 /WX /Brepro ${includes} /clang:-MD /clang:-MF${object}.d /clang:-MT${object}
        /Fo${object} -- ${source}
      DEPENDS ${source}
      DEPFILE ${object}.d
      COMMENT "clang-cl ${M_ARCH} ${stem}.obj (${name})")
    list(APPEND objects ${object})
  endforeach()

  set(link /nologo /Brepro /out:${M_OUTPUT})
  if(M_DLL)
    get_filename_component(stem ${M_OUTPUT} NAME_WE)
    set(implib ${dir}/${stem}.lib)
    list(APPEND link /dll /implib:${implib})
    if(M_ENTRY)
      list(APPEND link /entry:${M_ENTRY})
    else()
      list(APPEND link /noentry)
    endif()
  else()
    list(APPEND link /subsystem:console /entry:${M_ENTRY})
  endif()
  set(depends ${objects})
  if(M_DEF)
    get_filename_component(def ${M_DEF} ABSOLUTE)
    list(APPEND link /def:${def})
    list(APPEND depends ${def})
  endif()
  set(targets)
  foreach(lib IN LISTS M_LIBS)
    list(APPEND link $<TARGET_PROPERTY:${lib},VANTOR_MSVC_LIB>)
    list(APPEND targets ${lib} $<TARGET_PROPERTY:${lib},VANTOR_MSVC_LIB>)
  endforeach()
  add_custom_command(OUTPUT ${M_OUTPUT} ${implib}
    COMMAND ${VANTOR_LLD_LINK} ${link} ${objects}
    DEPENDS ${depends} ${targets}
    COMMENT "lld-link ${M_ARCH} ${M_OUTPUT}")
  add_custom_target(${name} ALL DEPENDS ${M_OUTPUT})
  if(M_DLL)
    set_target_properties(${name} PROPERTIES VANTOR_MSVC_LIB ${implib})
  endif()
endfunction()
