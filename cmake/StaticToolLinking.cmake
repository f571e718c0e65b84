# The command-line tools are short processes: most of a one-page signing's
# start is the dynamic loader mapping and relocating qpdf, the GnuTLS that
# Debian's qpdf uses for encrypted PDFs (and its eight libraries) and the
# C++ runtime, about 2 ms of some 11. Linked into the tool instead, only
# the pages a run touches are read. libcrypto stays shared: the providers
# OpenSSL loads as modules (the legacy one, for an old PKCS#12) link it.
#
# penvora_static_tool(TARGET [CXX_RUNTIME]) marks a tool for it;
# CXX_RUNTIME also links the C++ runtime in, for tools that load no Qt
# (Qt's libraries bring their own shared one). Without every archive, or
# with PENVORA_STATIC_TOOLS off, tools link as everything else does.

option(PENVORA_STATIC_TOOLS "Link qpdf and its crypto libraries into the command-line tools" ON)

set(PENVORA_STATIC_TOOL_LIBRARIES "")
if(PENVORA_STATIC_TOOLS AND NOT PENVORA_SANITIZE AND NOT PENVORA_FUZZ)
  set(_missing "")
  set(_archives "")
  # In link order: each archive before the ones it uses.
  foreach(_name qpdf turbojpeg jpeg gnutls hogweed nettle gmp tasn1 idn2 z)
    find_library(PENVORA_STATIC_${_name} NAMES lib${_name}.a)
    if(PENVORA_STATIC_${_name})
      list(APPEND _archives ${PENVORA_STATIC_${_name}})
    else()
      list(APPEND _missing lib${_name}.a)
    endif()
  endforeach()
  # GnuTLS's two dependencies that Debian ships only as shared libraries.
  find_library(PENVORA_SHARED_p11kit NAMES p11-kit)
  find_library(PENVORA_SHARED_unistring NAMES unistring libunistring.so.2)
  foreach(_shared PENVORA_SHARED_p11kit PENVORA_SHARED_unistring)
    if(NOT ${_shared})
      list(APPEND _missing ${_shared})
    endif()
  endforeach()
  if(_missing)
    message(STATUS "Tools link qpdf shared (not found: ${_missing}; scripts/install-deps installs them)")
  else()
    set(PENVORA_STATIC_TOOL_LIBRARIES ${_archives} ${PENVORA_SHARED_p11kit} ${PENVORA_SHARED_unistring}
                                      OpenSSL::Crypto ${CMAKE_DL_LIBS})
    message(STATUS "Tools link qpdf, GnuTLS, libjpeg and zlib statically")
  endif()
endif()

# What the core's objects link with: the archives above for a tool marked
# static, the shared libraries for everything else. Read from the target
# being linked, so one set of objects serves both.
set(PENVORA_CORE_LINK_LIBRARIES OpenSSL::Crypto ZLIB::ZLIB qpdf::libqpdf libjpeg-turbo::turbojpeg ${CMAKE_DL_LIBS})
if(PENVORA_STATIC_TOOL_LIBRARIES)
  set(_static "$<BOOL:$<TARGET_PROPERTY:PENVORA_STATIC_TOOL>>")
  string(REPLACE ";" "$<SEMICOLON>" _static_list "${PENVORA_STATIC_TOOL_LIBRARIES}")
  string(REPLACE ";" "$<SEMICOLON>" _shared_list "${PENVORA_CORE_LINK_LIBRARIES}")
  set(PENVORA_CORE_LINK_LIBRARIES "$<IF:${_static},${_static_list},${_shared_list}>")
endif()

function(penvora_static_tool target)
  if(NOT PENVORA_STATIC_TOOL_LIBRARIES)
    return()
  endif()
  set_target_properties(${target} PROPERTIES PENVORA_STATIC_TOOL ON)
  if("CXX_RUNTIME" IN_LIST ARGN)
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
endfunction()
