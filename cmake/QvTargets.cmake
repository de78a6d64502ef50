# One place that decides how every target of the project is compiled, so that
# no deliverable's build drifts from the others.

set(QV_WARNINGS -Wall -Wextra)
if(QV_WERROR)
  list(APPEND QV_WARNINGS -Werror)
endif()

set(QV_SANITIZER_FLAGS "")
if(QV_SANITIZE STREQUAL "address")
  set(QV_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
elseif(QV_SANITIZE STREQUAL "thread")
  set(QV_SANITIZER_FLAGS -fsanitize=thread)
elseif(NOT QV_SANITIZE STREQUAL "")
  message(FATAL_ERROR "QV_SANITIZE must be '', 'address' or 'thread', not '${QV_SANITIZE}'")
endif()

# Compile settings of every target. The shading code follows exact rounding
# recipes: floating-point contraction is off, since a fused multiply-add would
# change them, and so is GCC's SLP vectoriser, which in GCC 12 folds a
# vectorised double -> float -> double round trip into a plain copy and so
# drops the rounding that rays and hit points rely on.
set(QV_EXACT_FP_FLAGS -ffp-contract=off $<$<CXX_COMPILER_ID:GNU>:-fno-tree-slp-vectorize>)

# The Windows build (MinGW-w64, cmake/mingw-w64.cmake). Hosts load plug-ins
# from their own folders, so nothing may depend on MinGW's runtime DLLs being
# found beside them: the C++ runtime, libgcc and winpthread are linked into
# every executable and library.
if(MINGW)
  add_link_options(-static)
  # M_PI and the other <cmath> constants, which glibc declares by default.
  add_compile_definitions(_USE_MATH_DEFINES)
  # The stand-in host libraries export their whole API as the real host
  # libraries do, without marking every class of their headers, but nothing
  # of the static libraries linked into them (the runtime's above all). They
  # bear the real libraries' names: vray.dll, OpenMaya.dll, not libvray.dll.
  string(APPEND CMAKE_SHARED_LINKER_FLAGS
         " -Wl,--export-all-symbols -Wl,--exclude-libs,libgcc_eh.a:libpthread.a:libwinpthread.a")
  set(CMAKE_SHARED_LIBRARY_PREFIX "")
  # stb is header-only, so Debian's copy serves the Windows build as well;
  # it is copied alone so that the cross compiler never sees the build
  # machine's other headers.
  find_path(QV_HOST_STB_DIR stb/stb_image.h PATHS /usr/include NO_DEFAULT_PATH
            NO_CMAKE_FIND_ROOT_PATH)
  if(QV_HOST_STB_DIR)
    file(COPY "${QV_HOST_STB_DIR}/stb" DESTINATION "${CMAKE_BINARY_DIR}/third_party/include")
    set(QV_STB_INCLUDE_DIR "${CMAKE_BINARY_DIR}/third_party/include" CACHE PATH
        "Folder holding stb/stb_image.h")
  endif()
endif()

function(qv_configure_target target)
  target_compile_options(${target} PRIVATE ${QV_WARNINGS} ${QV_SANITIZER_FLAGS} ${QV_EXACT_FP_FLAGS})
  target_link_options(${target} PRIVATE ${QV_SANITIZER_FLAGS})
endfunction()

# A library that is compiled into plug-ins: hidden unless exported on purpose.
function(qv_add_plugin_support target)
  add_library(${target} STATIC ${ARGN})
  qv_configure_target(${target})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()

# qv_add_plugin(NAME HOST <vray|maya|mentalray> EXPORTS sym... SOURCES src... LIBRARIES lib...)
#
# Builds NAME as the plug-in library its host loads from disk (NAME.so, or
# NAME.dll on Windows) exporting exactly EXPORTS, and NAME_objects, the same
# code as an object library that tests can link directly.
function(qv_add_plugin name)
  cmake_parse_arguments(PLUGIN "" "HOST" "EXPORTS;SOURCES;LIBRARIES" ${ARGN})
  if(NOT PLUGIN_HOST OR NOT PLUGIN_EXPORTS OR NOT PLUGIN_SOURCES)
    message(FATAL_ERROR "qv_add_plugin(${name}) needs HOST, EXPORTS and SOURCES")
  endif()

  add_library(${name}_objects OBJECT ${PLUGIN_SOURCES})
  qv_configure_target(${name}_objects)
  set_target_properties(${name}_objects PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_include_directories(${name}_objects PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_objects PUBLIC ${PLUGIN_LIBRARIES})

  add_library(${name} MODULE $<TARGET_OBJECTS:${name}_objects>)
  qv_configure_target(${name})
  target_link_libraries(${name} PRIVATE ${PLUGIN_LIBRARIES})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${QV_PLUGIN_OUTPUT_DIRECTORY}
    RUNTIME_OUTPUT_DIRECTORY ${QV_PLUGIN_OUTPUT_DIRECTORY}
    BUILD_RPATH "$ORIGIN/../lib"
    INSTALL_RPATH "$ORIGIN")
  if(NOT WIN32)
    # The host looks up nothing else; keep the rest of the code private.
    set(map "${CMAKE_CURRENT_BINARY_DIR}/${name}.map")
    list(JOIN PLUGIN_EXPORTS "; " globals)
    file(WRITE "${map}" "{ global: ${globals}; local: *; };\n")
    target_link_options(${name} PRIVATE "LINKER:--version-script=${map}" "LINKER:--no-undefined")
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS "${map}")
  elseif(MINGW)
    # Exports are marked __declspec(dllexport) in the code (PLUGIN_EXPORT,
    # VRAY_PLUGIN_EXPORT, QV_MI_EXPORT); nothing is exported by default.
    target_link_options(${name} PRIVATE "LINKER:--exclude-all-symbols")
  endif()
  set_property(GLOBAL APPEND PROPERTY QV_PLUGINS ${name})
endfunction()

# qv_embed_text(TARGET NAMESPACE ns FILES doc...)
#
# Compiles each text document (with the files it includes by "@include FILE@"
# lines) into TARGET as `const char ns::SYMBOL[]`, SYMBOL being the file name
# with every character that is not a letter or digit made '_'
# (qv_vpStackFragment.xml -> qv_vpStackFragment_xml).
function(qv_embed_text target)
  cmake_parse_arguments(EMBED "" "NAMESPACE" "FILES" ${ARGN})
  foreach(document ${EMBED_FILES})
    get_filename_component(path "${document}" ABSOLUTE)
    get_filename_component(folder "${path}" DIRECTORY)
    get_filename_component(file_name "${path}" NAME)
    string(MAKE_C_IDENTIFIER "${file_name}" symbol)
    file(STRINGS "${path}" include_lines REGEX "@include [^@]+@")
    set(depends "${path}")
    foreach(line ${include_lines})
      string(REGEX MATCH "@include ([^@]+)@" _ "${line}")
      list(APPEND depends "${folder}/${CMAKE_MATCH_1}")
    endforeach()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
    set(output "${CMAKE_CURRENT_BINARY_DIR}/embedded/${symbol}.cpp")
    add_custom_command(OUTPUT "${output}"
      COMMAND ${CMAKE_COMMAND} -DINPUT=${path} -DOUTPUT=${output} -DSYMBOL=${symbol}
              -DNAMESPACE=${EMBED_NAMESPACE} -P ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
      DEPENDS ${depends} ${PROJECT_SOURCE_DIR}/cmake/EmbedText.cmake
      COMMENT "Embedding ${file_name}"
      VERBATIM)
    target_sources(${target} PRIVATE "${output}")
  endforeach()
endfunction()
