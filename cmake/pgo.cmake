# Profile-guided optimisation of the emulation library. The interpreter's
# time goes mostly to branches and the layout of its code, which the
# compiler arranges far better from a profile of real runs: 7 to 35 %
# faster on the cartridges measured. A copy of the project is built with
# counters (build/pgo-train, the headless program alone) and run on the
# demo cartridge's pages and the busy loop; the library is then compiled
# with what they counted. Functions the runs never reached are optimised
# as usual.
#
# Included twice: in the build proper (TERVOX_PGO), and in the training
# copy (TERVOX_PGO_GENERATE, the directory that receives the counts).
option(TERVOX_PGO "Optimise the emulation library with a profile of a training run (GCC, native builds)" ON)
set(TERVOX_PGO_GENERATE "" CACHE PATH "Internal: build the training copy, writing its counts here")

# The counts are named after each object's path below the build directory,
# the same in both builds.
set(PGO_NAMING -fprofile-prefix-path=${CMAKE_BINARY_DIR})

function(tervox_pgo_library target)
  if(TERVOX_PGO_GENERATE)
    target_compile_options(${target} PRIVATE -fprofile-generate=${TERVOX_PGO_GENERATE} ${PGO_NAMING}
                           -fprofile-update=single)
  elseif(TERVOX_PGO_ACTIVE)
    # The renderer is left out: tuned by hand without a profile, its
    # benchmark ran 5 % more instructions with one.
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources EXCLUDE REGEX "^\\$<|/video/render\\.cpp$")
    set_property(SOURCE ${sources} APPEND PROPERTY COMPILE_OPTIONS -fprofile-use=${TERVOX_PGO_DATA} ${PGO_NAMING}
                 -fprofile-partial-training -Wno-missing-profile)
    # Compiled after the training, and again whenever it ran again.
    set_property(SOURCE ${sources} APPEND PROPERTY OBJECT_DEPENDS ${TERVOX_PGO_STAMP})
    add_dependencies(${target} pgo_train)
  endif()
endfunction()

set(TERVOX_PGO_ACTIVE OFF)
if(TERVOX_PGO_GENERATE)
  add_link_options(-fprofile-generate)
elseif(TERVOX_PGO AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND NOT CMAKE_CROSSCOMPILING AND NOT TERVOX_SANITIZE
       AND NOT TERVOX_TSAN AND NOT TERVOX_FUZZ AND CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo)$")
  set(TERVOX_PGO_ACTIVE ON)
  include(ExternalProject)
  set(PGO_TRAIN ${CMAKE_BINARY_DIR}/pgo-train)
  set(TERVOX_PGO_DATA ${PGO_TRAIN}/counts)
  set(TERVOX_PGO_STAMP ${PGO_TRAIN}/trained.stamp)
  # Under make the copy's build shares the build's job slots.
  if(CMAKE_GENERATOR MATCHES "Make")
    set(PGO_BUILD $(MAKE))
  else()
    set(PGO_BUILD ${CMAKE_COMMAND} --build ${PGO_TRAIN} --target)
  endif()
  ExternalProject_Add(pgo_train_build
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${PGO_TRAIN}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
               -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER} -DTERVOX_PGO=OFF -DTERVOX_TESTS=OFF
               -DTERVOX_PI_PROGRAM=OFF -DTERVOX_PGO_GENERATE=${TERVOX_PGO_DATA}
    BUILD_COMMAND ${PGO_BUILD} tervox-headless demo_rom
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${PGO_TRAIN}/tervox-headless ${PGO_TRAIN}/demo.rom)
  # The runs: every page of the demo (each video mode with sprites, both
  # sound chips, the controllers, a game), picked at frame 200 as
  # bench/demo_pages.sh does, and the busy loop (the video chip's ports
  # hammered); in an empty home of their own (no user's settings or saves).
  # Old counts go first: a run adds to what it finds.
  set(PGO_BUSY ${PGO_TRAIN}/busy_loop.bin)
  set(PGO_RUN ${CMAKE_COMMAND} -E chdir ${PGO_TRAIN} ${CMAKE_COMMAND} -E env HOME=${PGO_TRAIN}/home
      ${PGO_TRAIN}/tervox-headless)
  set(PGO_RUNS COMMAND ${PGO_RUN} ${PGO_TRAIN}/demo.rom --frames 400 --seed 1)
  foreach(page 1 2 3 4 5 6 7 8)
    set(press --press key${page}_1@200)
    if(page EQUAL 8)
      list(APPEND press --press left_button_1@300)
    endif()
    list(APPEND PGO_RUNS COMMAND ${PGO_RUN} ${PGO_TRAIN}/demo.rom --frames 400 --seed 1 ${press})
  endforeach()
  add_custom_command(OUTPUT ${TERVOX_PGO_STAMP}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${TERVOX_PGO_DATA} ${PGO_TRAIN}/home
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PGO_TRAIN}/home
    COMMAND ${PASMO} --bin ${CMAKE_SOURCE_DIR}/tests/asm/busy_loop.asm ${PGO_BUSY}
    ${PGO_RUNS}
    COMMAND ${PGO_RUN} ${PGO_BUSY} --frames 600 --seed 1
    COMMAND ${CMAKE_COMMAND} -E touch ${TERVOX_PGO_STAMP}
    DEPENDS ${PGO_TRAIN}/tervox-headless ${PGO_TRAIN}/demo.rom ${CMAKE_SOURCE_DIR}/tests/asm/busy_loop.asm
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/asm
    COMMENT "Training run for the profile-guided build of the emulation library")
  add_custom_target(pgo_train DEPENDS ${TERVOX_PGO_STAMP})
  add_dependencies(pgo_train pgo_train_build)
endif()
