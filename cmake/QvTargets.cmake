# One place that decides how every target of the project is compiled, so that
# no deliverable's build drifts from the others.

if(MSVC)
  set(QV_WARNINGS /W4)
  if(QV_WERROR)
    list(APPEND QV_WARNINGS /WX)
  endif()
else()
  set(QV_WARNINGS -Wall -Wextra)
  if(QV_WERROR)
    list(APPEND QV_WARNINGS -Werror)
  endif()
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
# Visual C++ contracts nothing under /fp:precise unless told to.
if(MSVC)
  set(QV_EXACT_FP_FLAGS /fp:precise)
else()
  set(QV_EXACT_FP_FLAGS -ffp-contract=off $<$<CXX_COMPILER_ID:GNU>:-fno-tree-slp-vectorize>)
endif()

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

# qv_use_checked_stb_image(TARGET): TARGET includes a copy of stb_image.h
# that checks a JPEG's Huffman code counts. The stb of Debian 12 (v2.27)
# builds a table from the 16 counts of a DHT segment without checking that
# they add up to at most 256, the table's room, and writes past it when they
# do; later stb versions refuse such a table as "bad DHT header", and the
# copy adds that check where they have it (and one more, below).
function(qv_use_checked_stb_image target)
  set(checked "${CMAKE_BINARY_DIR}/stb_checked")
  if(NOT EXISTS "${checked}/stb/stb_image.h")
    find_file(QV_STB_IMAGE_HEADER stb/stb_image.h PATHS ${QV_STB_INCLUDE_DIR} /usr/include
              NO_CMAKE_FIND_ROOT_PATH)
    if(NOT QV_STB_IMAGE_HEADER)
      message(FATAL_ERROR "stb/stb_image.h not found (Debian's libstb-dev)")
    endif()
    file(READ "${QV_STB_IMAGE_HEADER}" text)
    set(unchecked "            L -= 17;\n            if (tc == 0) {")
    set(check "            if (n > 256) return stbi__err(\"bad DHT header\",\"Corrupt JPEG\");\n")
    if(NOT text MATCHES "n > 256")
      string(FIND "${text}" "${unchecked}" at)
      if(at LESS 0)
        message(FATAL_ERROR "${QV_STB_IMAGE_HEADER}: cannot find where to check the JPEG Huffman code counts")
      endif()
      string(REPLACE "${unchecked}" "${check}${unchecked}" text "${text}")
    endif()
    # A chunk of no bytes reaches memcpy with a null buffer, which C leaves
    # undefined even for no bytes.
    string(REPLACE "      memcpy(buffer, s->img_buffer, n);\n      s->img_buffer += n;"
                   "      if (n > 0) memcpy(buffer, s->img_buffer, n);\n      s->img_buffer += n;"
                   text "${text}")
    file(WRITE "${checked}/stb/stb_image.h" "${text}")
  endif()
  target_include_directories(${target} SYSTEM BEFORE PRIVATE "${checked}")
endfunction()

function(qv_configure_target target)
  target_compile_options(${target} PRIVATE ${QV_WARNINGS} ${QV_SANITIZER_FLAGS} ${QV_EXACT_FP_FLAGS})
  target_link_options(${target} PRIVATE ${QV_SANITIZER_FLAGS})
endfunction()

# ---------------------------------------------------------------------------
# The hosts' SDKs. By default the plug-ins build against the stand-in hosts'
# headers (hosts/); a TD names the real ones instead, and only those plug-ins
# change: the rest of the project still builds beside them, against the
# stand-ins.
set(QV_MAYA_DEVKIT "" CACHE PATH
    "Maya devkit folder (include/maya, and lib when there is one): build the Maya plug-ins against it")
set(QV_MENTALRAY_SDK "" CACHE PATH
    "Folder holding mental ray's shader.h: build the mental ray shader library against it")

# What each host's devkit prescribes for the code compiled into its plug-ins.
if(WIN32)
  set(QV_MAYA_DEFINITIONS _WINDOWS NT_PLUGIN REQUIRE_IOSTREAM _BOOL)
  set(QV_MENTALRAY_DEFINITIONS WIN_NT BIT64)
else()
  set(QV_MAYA_DEFINITIONS Bits64_ UNIX _BOOL LINUX FUNCPROTO _GNU_SOURCE LINUX_64 REQUIRE_IOSTREAM)
  set(QV_MENTALRAY_DEFINITIONS BIT64)
endif()

# qv_maya_devkit_OpenMaya and the like: the real libraries' headers and, where
# the devkit has them, the libraries themselves. Without them the plug-ins
# leave Maya's symbols to be bound when Maya loads them.
set(QV_MAYA_DEVKIT_LINKED OFF)
if(QV_MAYA_DEVKIT)
  if(NOT EXISTS "${QV_MAYA_DEVKIT}/include/maya/MFnPlugin.h")
    message(FATAL_ERROR "QV_MAYA_DEVKIT=${QV_MAYA_DEVKIT} holds no include/maya/MFnPlugin.h")
  endif()
  set(QV_MAYA_DEVKIT_LINKED ON)
  foreach(library Foundation OpenMaya OpenMayaRender)
    add_library(qv_maya_devkit_${library} INTERFACE)
    target_include_directories(qv_maya_devkit_${library} SYSTEM INTERFACE "${QV_MAYA_DEVKIT}/include")
    find_library(QV_MAYA_${library}_LIBRARY ${library} PATHS "${QV_MAYA_DEVKIT}/lib"
                 NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(QV_MAYA_${library}_LIBRARY)
      target_link_libraries(qv_maya_devkit_${library} INTERFACE "${QV_MAYA_${library}_LIBRARY}")
    else()
      set(QV_MAYA_DEVKIT_LINKED OFF)
    endif()
  endforeach()
  message(STATUS "Maya plug-ins: built against ${QV_MAYA_DEVKIT}")
  if(NOT QV_MAYA_DEVKIT_LINKED)
    message(STATUS "Maya plug-ins: no libraries in ${QV_MAYA_DEVKIT}/lib; Maya's symbols are bound when Maya loads them")
  endif()
endif()
if(QV_MENTALRAY_SDK)
  if(NOT EXISTS "${QV_MENTALRAY_SDK}/shader.h")
    message(FATAL_ERROR "QV_MENTALRAY_SDK=${QV_MENTALRAY_SDK} holds no shader.h")
  endif()
  add_library(qv_mentalray_sdk INTERFACE)
  target_include_directories(qv_mentalray_sdk SYSTEM INTERFACE "${QV_MENTALRAY_SDK}")
  message(STATUS "mental ray shader library: built against ${QV_MENTALRAY_SDK}/shader.h")
endif()

# The libraries a plug-in names, as the configured SDKs provide them: Maya's
# OpenMaya, OpenMayaRender and Foundation, mental ray's shader interface
# (mentalray_shader_api).
function(qv_host_libraries host out)
  set(result "")
  foreach(library ${ARGN})
    if(host STREQUAL "maya" AND QV_MAYA_DEVKIT AND library MATCHES "^(Foundation|OpenMaya|OpenMayaRender)$")
      list(APPEND result qv_maya_devkit_${library})
    elseif(host STREQUAL "mentalray" AND QV_MENTALRAY_SDK AND library STREQUAL "mentalray_shader_api")
      list(APPEND result qv_mentalray_sdk)
    else()
      list(APPEND result ${library})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Compile settings of code that goes into a plug-in of HOST: hidden unless
# exported on purpose, with the host's definitions.
function(qv_configure_plugin_code target host)
  qv_configure_target(${target})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(host STREQUAL "maya")
    target_compile_definitions(${target} PUBLIC ${QV_MAYA_DEFINITIONS})
  elseif(host STREQUAL "mentalray")
    target_compile_definitions(${target} PUBLIC ${QV_MENTALRAY_DEFINITIONS})
  endif()
endfunction()

# qv_add_plugin_support(NAME HOST host SOURCES src... [LIBRARIES lib...])
#
# A static library of code that several plug-ins of HOST compile in.
function(qv_add_plugin_support target)
  cmake_parse_arguments(SUPPORT "" "HOST" "SOURCES;LIBRARIES" ${ARGN})
  add_library(${target} STATIC ${SUPPORT_SOURCES})
  qv_configure_plugin_code(${target} "${SUPPORT_HOST}")
  qv_host_libraries("${SUPPORT_HOST}" libraries ${SUPPORT_LIBRARIES})
  target_link_libraries(${target} PUBLIC ${libraries})
endfunction()

# qv_plugin_exports(TARGET HOST host [EXPORTS sym...])
#
# Makes TARGET export what its host looks up and nothing else. A Maya
# plug-in's entry points are C++ functions (PLUGIN_EXPORT gives no C
# linkage): Maya on Linux finds them by their C++ names, which the devkit's
# export map keeps beside MApiVersion; Windows builds export them under their
# plain names (Visual C++: /export; MinGW: a module-definition file). EXPORTS
# lists the C names the library exports besides.
function(qv_plugin_exports target)
  cmake_parse_arguments(OUT "" "HOST" "EXPORTS" ${ARGN})
  set(linked ON)
  set(names ${OUT_EXPORTS})
  if(OUT_HOST STREQUAL "maya")
    set(linked ${QV_MAYA_DEVKIT_LINKED})
    if(NOT QV_MAYA_DEVKIT)
      set(linked ON)
    endif()
    if(NOT WIN32)
      list(PREPEND names _Z16initializePlugin7MObject _Z18uninitializePlugin7MObject MApiVersion)
      # As the devkit links plug-ins: their own references bind inside them.
      target_link_options(${target} PRIVATE "LINKER:-Bsymbolic")
    elseif(MSVC)
      target_link_options(${target} PRIVATE /export:initializePlugin /export:uninitializePlugin)
    else()
      set(def "${CMAKE_CURRENT_BINARY_DIR}/${target}.def")
      file(WRITE "${def}" "EXPORTS\n"
                 "  initializePlugin = _Z16initializePlugin7MObject\n"
                 "  uninitializePlugin = _Z18uninitializePlugin7MObject\n")
      target_sources(${target} PRIVATE "${def}")
    endif()
  endif()
  if(NOT WIN32)
    # The host looks up nothing else; keep the rest of the code private.
    set(map "${CMAKE_CURRENT_BINARY_DIR}/${target}.map")
    list(JOIN names "; " globals)
    file(WRITE "${map}" "{ global: ${globals}; local: *; };\n")
    target_link_options(${target} PRIVATE "LINKER:--version-script=${map}")
    if(linked)
      target_link_options(${target} PRIVATE "LINKER:--no-undefined")
    endif()
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS "${map}")
  elseif(MINGW)
    # Exports are marked __declspec(dllexport) in the code (PLUGIN_EXPORT,
    # VRAY_PLUGIN_EXPORT, QV_MI_EXPORT); nothing is exported by default.
    target_link_options(${target} PRIVATE "LINKER:--exclude-all-symbols")
  endif()
endfunction()

# The file name ending Maya gives plug-ins, and adds to a bare name in
# `loadPlugin` and the Plug-in Manager: .mll on Windows, .bundle on macOS.
if(WIN32)
  set(QV_MAYA_PLUGIN_SUFFIX .mll)
elseif(APPLE)
  set(QV_MAYA_PLUGIN_SUFFIX .bundle)
else()
  set(QV_MAYA_PLUGIN_SUFFIX .so)
endif()

# qv_add_plugin(NAME HOST <vray|maya|mentalray> [EXPORTS sym...] SOURCES src...
#               LIBRARIES lib... [DATA file...] [SCRIPTS file...])
#
# Builds NAME as the plug-in library its host loads from disk (NAME.so, or
# NAME.dll on Windows; a Maya plug-in NAME.mll there and NAME.bundle on
# macOS) exporting exactly what its host looks up (a Maya
# plug-in's entry points and MApiVersion, and EXPORTS), and NAME_objects, the
# same code as an object library that tests can link directly. DATA files (a
# shader declaration, say) are what the host reads beside the library: they
# are copied next to it in the build tree and installed with it. SCRIPTS
# (a Maya node's Attribute Editor template) go to the module's scripts/.
function(qv_add_plugin name)
  cmake_parse_arguments(PLUGIN "" "HOST" "EXPORTS;SOURCES;LIBRARIES;DATA;SCRIPTS" ${ARGN})
  if(NOT PLUGIN_HOST OR NOT PLUGIN_SOURCES OR (NOT PLUGIN_EXPORTS AND NOT PLUGIN_HOST STREQUAL "maya"))
    message(FATAL_ERROR "qv_add_plugin(${name}) needs HOST, EXPORTS and SOURCES")
  endif()
  qv_host_libraries(${PLUGIN_HOST} libraries ${PLUGIN_LIBRARIES})

  add_library(${name}_objects OBJECT ${PLUGIN_SOURCES})
  qv_configure_plugin_code(${name}_objects ${PLUGIN_HOST})
  target_include_directories(${name}_objects PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name}_objects PUBLIC ${libraries})

  add_library(${name} MODULE $<TARGET_OBJECTS:${name}_objects>)
  qv_configure_target(${name})
  target_link_libraries(${name} PRIVATE ${libraries})
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${QV_PLUGIN_OUTPUT_DIRECTORY}
    RUNTIME_OUTPUT_DIRECTORY ${QV_PLUGIN_OUTPUT_DIRECTORY}
    BUILD_RPATH "$ORIGIN/../lib"
    INSTALL_RPATH "$ORIGIN")
  if(PLUGIN_HOST STREQUAL "maya")
    set_target_properties(${name} PROPERTIES SUFFIX ${QV_MAYA_PLUGIN_SUFFIX})
  endif()
  qv_plugin_exports(${name} HOST ${PLUGIN_HOST} EXPORTS ${PLUGIN_EXPORTS})
  set(data_files "")
  foreach(data ${PLUGIN_DATA})
    get_filename_component(data_path "${data}" ABSOLUTE)
    get_filename_component(data_name "${data}" NAME)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different "${data_path}"
              "${QV_PLUGIN_OUTPUT_DIRECTORY}/${data_name}"
      VERBATIM)
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS "${data_path}")
    list(APPEND data_files "${data_path}")
  endforeach()
  qv_install_plugin(${name} ${PLUGIN_HOST} "${data_files}")
  if(PLUGIN_SCRIPTS)
    install(FILES ${PLUGIN_SCRIPTS} DESTINATION ${QV_INSTALL_MAYA_SCRIPTS})
  endif()
  set_property(GLOBAL APPEND PROPERTY QV_PLUGINS ${name})
endfunction()

# Where `cmake --install` puts the toolkit: one folder, a Maya module, that
# a TD puts on MAYA_MODULE_PATH. Maya finds its plug-ins in plug-ins/ and
# the Attribute Editor templates in scripts/ by itself; the module file
# puts V-Ray's folder on V-Ray for Maya's plug-in path and mental ray's, the
# library with its declaration, on mental ray for Maya's shader and library
# paths. Each folder also serves its host alone (V-Ray Standalone's
# VRAY_PLUGINS_x64, a plain MI_CUSTOM_SHADER_PATH).
set(QV_INSTALL_MAYA_PLUGINS plug-ins)
set(QV_INSTALL_MAYA_SCRIPTS scripts)
set(QV_INSTALL_VRAY_PLUGINS vray/plugins)
set(QV_INSTALL_MENTALRAY_SHADERS mentalray/shaders)

# The Maya versions the module serves: one block each, since V-Ray for Maya
# names its plug-in path after the Maya version. The plug-ins are built for
# Maya 2015's API; a TD building against a later devkit names that version.
set(QV_MAYA_VERSIONS 2015 CACHE STRING "Maya versions the module file serves (a list)")
if(WIN32)
  set(QV_MAYA_MODULE_PLATFORM win64)
elseif(APPLE)
  set(QV_MAYA_MODULE_PLATFORM mac)
else()
  set(QV_MAYA_MODULE_PLATFORM linux)
endif()
set(QV_MAYA_MODULE_FILE "${CMAKE_BINARY_DIR}/qv.mod")
set(module_text "")
foreach(version ${QV_MAYA_VERSIONS})
  if(NOT version MATCHES "^[0-9]+(\\.[0-9]+)?$")
    message(FATAL_ERROR "QV_MAYA_VERSIONS: '${version}' is no Maya version (2015, 2016.5 ...)")
  endif()
  string(REPLACE "." "_" vray_version "${version}")
  string(APPEND module_text
         "+ MAYAVERSION:${version} PLATFORM:${QV_MAYA_MODULE_PLATFORM} qv ${PROJECT_VERSION} .\n"
         "MI_CUSTOM_SHADER_PATH+:=${QV_INSTALL_MENTALRAY_SHADERS}\n"
         "MI_LIBRARY_PATH+:=${QV_INSTALL_MENTALRAY_SHADERS}\n"
         "VRAY_FOR_MAYA${vray_version}_PLUGINS_x64+:=${QV_INSTALL_VRAY_PLUGINS}\n")
endforeach()
file(WRITE "${QV_MAYA_MODULE_FILE}" "${module_text}")
install(FILES "${QV_MAYA_MODULE_FILE}" DESTINATION .)

function(qv_install_plugin name host data_files)
  if(host STREQUAL "maya")
    set(destination ${QV_INSTALL_MAYA_PLUGINS})
  elseif(host STREQUAL "vray")
    set(destination ${QV_INSTALL_VRAY_PLUGINS})
  else()
    set(destination ${QV_INSTALL_MENTALRAY_SHADERS})
  endif()
  install(TARGETS ${name} LIBRARY DESTINATION ${destination} RUNTIME DESTINATION ${destination})
  if(data_files)
    install(FILES ${data_files} DESTINATION ${destination})
  endif()
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
