# The third-party libraries of a target that Debian has no package of
# (meshoptimizer, OpenSubdiv, and zlib where the target has none): built from
# Debian's source packages by scripts/third-party.sh into the build tree, and
# found there before anything else. The presets of the Windows and 32-bit
# builds name their target; the native builds leave it empty and link
# Debian's packages.

set(VELLMAR_THIRD_PARTY "" CACHE STRING
    "Target of scripts/third-party.sh whose libraries the build links (mingw-i686, mingw-x86_64, i386, wasm)")
set(VELLMAR_THIRD_PARTY_PREFIX "" CACHE PATH
    "Where those libraries are installed (empty: build/third-party/TARGET of the source tree)")

if(VELLMAR_THIRD_PARTY)
  set(prefix "${VELLMAR_THIRD_PARTY_PREFIX}")
  if(NOT prefix)
    set(prefix "${PROJECT_SOURCE_DIR}/build/third-party/${VELLMAR_THIRD_PARTY}")
  endif()
  # Quick when the libraries are there already: the script fetches and
  # builds only what is missing or was built otherwise.
  message(STATUS "Third-party libraries for ${VELLMAR_THIRD_PARTY} in ${prefix}")
  execute_process(COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/third-party.sh ${VELLMAR_THIRD_PARTY} ${prefix}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "scripts/third-party.sh ${VELLMAR_THIRD_PARTY} failed (status ${status})")
  endif()
  # A cross build looks only below its root paths (the toolchain's own
  # stays the first); every build looks here before its system folders.
  list(APPEND CMAKE_FIND_ROOT_PATH ${prefix})
  list(PREPEND CMAKE_PREFIX_PATH ${prefix})
  set(VELLMAR_THIRD_PARTY_DIR ${prefix})
  # A rebuilt library links again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/scripts/third-party.sh)
endif()
