# The native Wayland route of the window system: the compositor's outputs (xdg-output) and
# frames in shared-memory buffers of our own, scaled to HiDPI outputs by the compositor's
# viewporter. The protocols' client code is generated from the XML files the system ships.
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET GLOBAL wayland-client)
pkg_get_variable(WAYLAND_PROTOCOLS_DIR wayland-protocols pkgdatadir)
if(NOT WAYLAND_PROTOCOLS_DIR)
  message(FATAL_ERROR "wayland-protocols is needed (scripts/bootstrap installs it)")
endif()
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)

set(wayland_generated ${CMAKE_CURRENT_BINARY_DIR}/wayland-protocols)
file(MAKE_DIRECTORY ${wayland_generated})
set(wayland_protocol_sources)
foreach(xml stable/viewporter/viewporter.xml unstable/xdg-output/xdg-output-unstable-v1.xml)
  get_filename_component(stem ${xml} NAME_WE)
  set(header ${wayland_generated}/${stem}-client-protocol.h)
  set(code ${wayland_generated}/${stem}-protocol.c)
  add_custom_command(OUTPUT ${header} ${code}
    COMMAND ${WAYLAND_SCANNER} client-header ${WAYLAND_PROTOCOLS_DIR}/${xml} ${header}
    COMMAND ${WAYLAND_SCANNER} private-code ${WAYLAND_PROTOCOLS_DIR}/${xml} ${code}
    DEPENDS ${WAYLAND_PROTOCOLS_DIR}/${xml}
    VERBATIM)
  list(APPEND wayland_protocol_sources ${header} ${code})
endforeach()
# The protocols' code, for the window system and for the Wayland benchmark programs.
add_library(pellora_wayland_protocols STATIC ${wayland_protocol_sources})
target_include_directories(pellora_wayland_protocols PUBLIC ${wayland_generated})
target_link_libraries(pellora_wayland_protocols PUBLIC PkgConfig::WAYLAND_CLIENT)
target_link_libraries(pellora_platform_sdl_presenter PRIVATE pellora_wayland_protocols)
