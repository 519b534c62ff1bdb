# The browser build: the game's layers and the web host (src/hosts/web/)
# compiled with emscripten, the data set packed as a file system image that
# the page mounts at /data, and the page of our own from web/. `make web`
# configures it (emcmake cmake ... -DVC_WEB_DATA=<mkdata's output>) after
# building the data set with the native mkdata.
#
# The site, VC_WEB_SITE (default: the build folder), holds everything a
# static server needs to serve:
#   index.html voidcrawl.css voidcrawl-page.js voidcrawl-64.png
#   voidcrawl.js voidcrawl.wasm voidcrawl.data.gz

set(VC_WEB_DATA "" CACHE PATH "The data set made by the native mkdata (its output folder)")
set(VC_WEB_SITE "${CMAKE_BINARY_DIR}" CACHE PATH "Where the page and the game go")
if(NOT EXISTS "${VC_WEB_DATA}/grafik")
  message(FATAL_ERROR "VC_WEB_DATA must name the data set made by mkdata (a folder with grafik/); "
                      "`make web` builds it first")
endif()
find_program(VC_GZIP gzip REQUIRED)

file(GLOB VC_WEB_SOURCES CONFIGURE_DEPENDS
  src/platform/*.cpp src/net/*.cpp src/gfx/*.cpp src/io/*.cpp src/world/*.cpp
  src/screens/*.cpp src/match/*.cpp src/app/*.cpp src/hosts/web/*.cpp)
# (The native build holds the layers apart; this one compiles them at once.)
# F12's PNG files are the desktop window's (through libpng); the browser has
# its own ways to keep a picture.
list(FILTER VC_WEB_SOURCES EXCLUDE REGEX "src/gfx/(PngWriter|Screenshot)\\.cpp$")
# The page's test pilot steers as the runner's autopilot does (its steering
# and way-finding, shared).
list(APPEND VC_WEB_SOURCES tools/runner/WormSteering.cpp tools/runner/WormPlanner.cpp)
# Online play: the desktop's link (src/net/UdpLink*) over the page's
# WebSocket to its room server (src/hosts/web/WebRoomSocket), sealed with a
# libsodium built for the page from Debian's source (tools/web-sodium.sh,
# kept in VC_WEB_SODIUM: built once).
set(VC_WEB_SODIUM "" CACHE PATH "libsodium built for the page (tools/web-sodium.sh's folder)")
if(NOT EXISTS "${VC_WEB_SODIUM}/lib/libsodium.a")
  message(FATAL_ERROR "VC_WEB_SODIUM must name libsodium built for the page (tools/web-sodium.sh); "
                      "`make web` builds it first")
endif()

add_executable(voidcrawl ${VC_WEB_SOURCES})
target_include_directories(voidcrawl PRIVATE src tools/runner "${VC_WEB_SODIUM}/include")
target_link_libraries(voidcrawl PRIVATE "${VC_WEB_SODIUM}/lib/libsodium.a")
set_target_properties(voidcrawl PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${VC_WEB_SITE}")

# The data set as the installed game has it: pictures, sounds and levels.
# (SHELL: keeps CMake from merging the repeated option.)
set(VC_WEB_PACKED "SHELL:--preload-file ${VC_WEB_DATA}/grafik@/data/grafik"
                  "SHELL:--preload-file ${VC_WEB_DATA}/sound@/data/sound")
foreach(level RANGE 0 19)
  list(APPEND VC_WEB_PACKED "SHELL:--preload-file ${VC_WEB_DATA}/L${level}.DAT@/data/L${level}.DAT")
endforeach()

# ASYNCIFY lets the frame loop and the fades wait for the browser where the
# desktop build sleeps. One module per run: the page starts a fresh one to
# play again. The high scores and replays live in IndexedDB
# (src/hosts/web/WebStore.cpp).
target_link_options(voidcrawl PRIVATE
  -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536
  -sMODULARIZE -sEXPORT_NAME=VoidCrawl -sENVIRONMENT=web
  -sINITIAL_MEMORY=64MB -sALLOW_MEMORY_GROWTH
  -sEXPORTED_FUNCTIONS=_main,_vc_web_render_audio,_vc_web_game_state,_vc_web_worm,_vc_web_passes,_vc_web_touch_key,_vc_web_watch_replay,_vc_web_watch_live,_vc_web_live_code,_vc_web_live,_vc_web_play,_vc_web_name,_vc_web_on_name_field,_vc_web_room_staging,_vc_web_room_arrived,_vc_web_room_closed,_vc_web_online,_vc_web_level_hash,_vc_web_pilot
  -sEXPORTED_RUNTIME_METHODS=FS,ccall
  ${VC_WEB_PACKED})
set_property(TARGET voidcrawl APPEND PROPERTY LINK_DEPENDS "${VC_WEB_DATA}/.stamp")

# The data image is sent gzipped (a fifth of its size); the page unpacks it
# with the browser's own DecompressionStream.
set(VC_WEB_PAGE_FILES index.html voidcrawl.css voidcrawl-page.js)
set(VC_WEB_PAGE_OUTPUTS)
foreach(file ${VC_WEB_PAGE_FILES})
  add_custom_command(OUTPUT "${VC_WEB_SITE}/${file}"
    COMMAND ${CMAKE_COMMAND} -E copy "${CMAKE_SOURCE_DIR}/web/${file}" "${VC_WEB_SITE}/${file}"
    DEPENDS "${CMAKE_SOURCE_DIR}/web/${file}")
  list(APPEND VC_WEB_PAGE_OUTPUTS "${VC_WEB_SITE}/${file}")
endforeach()
add_custom_command(OUTPUT "${VC_WEB_SITE}/voidcrawl-64.png"
  COMMAND ${CMAKE_COMMAND} -E copy "${VC_WEB_DATA}/icons/voidcrawl-64.png" "${VC_WEB_SITE}/voidcrawl-64.png"
  DEPENDS "${VC_WEB_DATA}/icons/voidcrawl-64.png")
add_custom_target(web_page ALL DEPENDS ${VC_WEB_PAGE_OUTPUTS} "${VC_WEB_SITE}/voidcrawl-64.png")

add_custom_command(TARGET voidcrawl POST_BUILD
  COMMAND ${VC_GZIP} -9 -n -f "${VC_WEB_SITE}/voidcrawl.data"
  COMMENT "Compressing the data image")
