# Which platform the module's code is built for: Windows itself (MinGW-w64) or winsim.
if(WIN32)
  set(VANTOR_WINDOWS ON)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(VANTOR_ARCH x86)
  else()
    set(VANTOR_ARCH x64)
  endif()
  # The DLLs carry no MinGW runtime DLLs: libgcc and libstdc++ are linked in, and so is winpthread
  # where the toolchain's thread model is posix (the x64 test build; the i686 product uses win32).
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
  # The shielded scanner call is written in assembly (src/platform/ScannerCall-*.S).
  enable_language(ASM)
  find_program(VANTOR_DLLTOOL NAMES ${VANTOR_TOOL_PREFIX}dlltool REQUIRED)
  find_program(VANTOR_OBJDUMP NAMES ${VANTOR_TOOL_PREFIX}objdump REQUIRED)
  find_program(VANTOR_STRIP NAMES ${VANTOR_TOOL_PREFIX}strip REQUIRED)
else()
  set(VANTOR_WINDOWS OFF)
  set(VANTOR_ARCH linux)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
endif()

# Import library for a DLL described by a .def file, made with dlltool.
function(vantor_import_library target def dllname)
  set(lib ${CMAKE_CURRENT_BINARY_DIR}/lib${target}.a)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${VANTOR_DLLTOOL} -d ${def} -D ${dllname} -l ${lib}
    DEPENDS ${def}
    COMMENT "Import library ${dllname} from ${def}")
  add_custom_target(${target}_gen DEPENDS ${lib})
  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_gen)
  target_link_libraries(${target} INTERFACE ${lib})
endfunction()

# vantor_prebuilt(TARGET FILE HINT): TARGET is FILE, a file another preset builds, copied into bin/
# under its own name so that the test programs find it beside them. A test compares the copy with
# FILE byte for byte before any Wine test starts. HINT says how to get FILE.
function(vantor_prebuilt target file hint)
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "${file} is missing: ${hint}")
  endif()
  get_filename_component(name ${file} NAME)
  set(copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name})
  add_custom_command(OUTPUT ${copy} COMMAND ${CMAKE_COMMAND} -E copy ${file} ${copy}
    DEPENDS ${file} COMMENT "${name}: the file ${file}")
  add_custom_target(${target} ALL DEPENDS ${copy})
  add_test(NAME ${target}_is_the_prebuilt_file COMMAND ${CMAKE_COMMAND} -E compare_files ${file} ${copy})
  set_tests_properties(${target}_is_the_prebuilt_file PROPERTIES FIXTURES_SETUP wine_prefix)
endfunction()
