# vela_library(<target> <folder>): a static library from the .cpp files that
# sit directly in <folder> (sub-folders are libraries of their own).
# New files are picked up on the next configure (CONFIGURE_DEPENDS).
function(vela_library target folder)
  file(GLOB sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  if(NOT sources)
    set(sources ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${target} STATIC ${sources})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
endfunction()
