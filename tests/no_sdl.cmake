# Fails when a file of the emulation library includes SDL: only src/host
# and src/app may.
foreach(dir common core memory video sound input adam capture firmware)
  file(GLOB_RECURSE files ${ROOT}/${dir}/*.h ${ROOT}/${dir}/*.cpp)
  foreach(f ${files})
    file(STRINGS ${f} hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]SDL")
    if(hits)
      message(SEND_ERROR "${f} includes SDL: ${hits}")
    endif()
  endforeach()
endforeach()
