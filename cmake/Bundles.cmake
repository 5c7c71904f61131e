# Bundle folders in the build tree: a program or plug-in with its information dictionary and its
# resources, laid out as
#   <Name>.<ext>/Contents/Info.plist
#   <Name>.<ext>/Contents/MacOS/<CFBundleExecutable>
#   <Name>.<ext>/Contents/Resources/...
# platform::Bundle reads them (platform/bundle.h); the settings host loads a ".prefPane" and the
# pane starts a ".app" through the workspace.

# Run as a script (cmake -P, from a bundle's target): removes the files of the bundle folder
# that its manifest does not list, outside the bundles nested in it.
if(DEFINED VANTREL_BUNDLE_MANIFEST)
  cmake_policy(VERSION 3.25)
  file(STRINGS "${VANTREL_BUNDLE_MANIFEST}" wanted)
  file(GLOB_RECURSE present LIST_DIRECTORIES false RELATIVE "${VANTREL_BUNDLE_FOLDER}" "${VANTREL_BUNDLE_FOLDER}/*")
  foreach(rel IN LISTS present)
    if(rel MATCHES "^Contents/Resources/[^/]+\\.(app|prefPane)/")
      continue()
    endif()
    if(NOT rel IN_LIST wanted)
      message(STATUS "Bundle: removing ${VANTREL_BUNDLE_FOLDER}/${rel}, which is no longer a part of it")
      file(REMOVE "${VANTREL_BUNDLE_FOLDER}/${rel}")
    endif()
  endforeach()
  return()
endif()
set(_VANTREL_BUNDLES_FILE "${CMAKE_CURRENT_LIST_FILE}")

# Where the pane bundle goes below an installation's prefix, and where the helper's resources are
# then (platform::Bundle::forBinary finds them from "<prefix>/bin").
set(VANTREL_PANE_INSTALL_DIR "lib/vantrel")
set(VANTREL_INSTALLED_RESOURCES
    "${VANTREL_PANE_INSTALL_DIR}/VantrelPrefPane.prefPane/Contents/Resources/VantrelHelper.app/Contents/Resources")

# The value as it stands in a property list's XML.
function(_vantrel_plist_escape out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# vantrel_bundle(<target> FOLDER <path>
#                [STRINGS <key> <text> ...] [BOOLEANS <key> true|false ...]
#                [EXECUTABLE <target>] [RESOURCES <file-or-folder> ...] [DEPENDS <target> ...])
#
# Makes the custom target <target> (built by default) that assembles the bundle folder FOLDER:
# Contents/Info.plist from STRINGS and BOOLEANS (written when CMake generates the build, and
# only when it changes); Contents/MacOS/<CFBundleExecutable> a copy of the EXECUTABLE target's
# file, made again whenever it is linked again; Contents/Resources/ a copy of each RESOURCES
# file, and of each RESOURCES folder with everything in it. Each copy follows its source: a build
# after an edit copies the edited file again. Files added to a RESOURCES folder are picked up by
# the next build, and a file that is no longer among them is removed from the bundle (bundles
# nested in Contents/Resources are left to their own targets). DEPENDS: bundle targets to
# assemble first (a bundle nested in this one).
function(vantrel_bundle target)
  cmake_parse_arguments(PARSE_ARGV 1 B "" "FOLDER;EXECUTABLE" "STRINGS;BOOLEANS;RESOURCES;DEPENDS")
  if(NOT B_FOLDER)
    message(FATAL_ERROR "vantrel_bundle(${target}): FOLDER is required")
  endif()

  # Contents/Info.plist
  set(entries "")
  set(executable "")
  set(pairs ${B_STRINGS})
  while(pairs)
    list(POP_FRONT pairs key value)
    if(key STREQUAL "CFBundleExecutable")
      set(executable "${value}")
    endif()
    _vantrel_plist_escape(key "${key}")
    _vantrel_plist_escape(value "${value}")
    string(APPEND entries "\t<key>${key}</key>\n\t<string>${value}</string>\n")
  endwhile()
  set(pairs ${B_BOOLEANS})
  while(pairs)
    list(POP_FRONT pairs key value)
    _vantrel_plist_escape(key "${key}")
    if(value)
      string(APPEND entries "\t<key>${key}</key>\n\t<true/>\n")
    else()
      string(APPEND entries "\t<key>${key}</key>\n\t<false/>\n")
    endif()
  endwhile()
  file(GENERATE OUTPUT "${B_FOLDER}/Contents/Info.plist" CONTENT
"<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">
<plist version=\"1.0\">
<dict>
${entries}</dict>
</plist>
")

  set(outputs "")
  set(manifest "Contents/Info.plist")
  # Contents/MacOS/<CFBundleExecutable>: a real copy, so that the program finds its bundle from
  # its own path.
  if(B_EXECUTABLE)
    if(executable STREQUAL "")
      message(FATAL_ERROR "vantrel_bundle(${target}): EXECUTABLE needs CFBundleExecutable in STRINGS")
    endif()
    set(dest "${B_FOLDER}/Contents/MacOS/${executable}")
    add_custom_command(OUTPUT "${dest}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${B_FOLDER}/Contents/MacOS"
      COMMAND ${CMAKE_COMMAND} -E copy "$<TARGET_FILE:${B_EXECUTABLE}>" "${dest}"
      DEPENDS ${B_EXECUTABLE} "$<TARGET_FILE:${B_EXECUTABLE}>"
      COMMENT "Bundle ${target}: Contents/MacOS/${executable}"
      VERBATIM)
    list(APPEND outputs "${dest}")
    list(APPEND manifest "Contents/MacOS/${executable}")
  endif()

  # Contents/Resources/
  foreach(resource IN LISTS B_RESOURCES)
    if(IS_DIRECTORY "${resource}")
      get_filename_component(top "${resource}" NAME)
      file(GLOB_RECURSE inside CONFIGURE_DEPENDS RELATIVE "${resource}" "${resource}/*")
      set(copies "")
      foreach(rel IN LISTS inside)
        list(APPEND copies "${resource}/${rel}" "${top}/${rel}")
      endforeach()
    else()
      get_filename_component(name "${resource}" NAME)
      set(copies "${resource}" "${name}")
    endif()
    while(copies)
      list(POP_FRONT copies source rel)
      set(dest "${B_FOLDER}/Contents/Resources/${rel}")
      get_filename_component(dest_dir "${dest}" DIRECTORY)
      add_custom_command(OUTPUT "${dest}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${dest_dir}"
        COMMAND ${CMAKE_COMMAND} -E copy "${source}" "${dest}"
        DEPENDS "${source}"
        COMMENT "Bundle ${target}: Contents/Resources/${rel}"
        VERBATIM)
      list(APPEND outputs "${dest}")
      list(APPEND manifest "Contents/Resources/${rel}")
    endwhile()
  endforeach()

  # What belongs in the bundle, for removing what no longer does.
  set(manifest_file "${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest")
  string(REPLACE ";" "\n" manifest_text "${manifest}")
  file(GENERATE OUTPUT "${manifest_file}" CONTENT "${manifest_text}\n")
  add_custom_target(${target} ALL
    COMMAND ${CMAKE_COMMAND} -DVANTREL_BUNDLE_FOLDER=${B_FOLDER} -DVANTREL_BUNDLE_MANIFEST=${manifest_file}
            -P ${_VANTREL_BUNDLES_FILE}
    DEPENDS ${outputs}
    COMMENT "Bundle ${target}: nothing left over"
    VERBATIM)
  if(B_DEPENDS)
    add_dependencies(${target} ${B_DEPENDS})
  endif()
endfunction()
