# vela_library(<target> <folder>): a static library from the .cpp files that
# sit directly in <folder> (sub-folders are libraries of their own).
# New files are picked up on the next configure (CONFIGURE_DEPENDS).
#
# Users of the library see only the headers of <folder> itself: they are
# linked one by one into an include root of the target's own
# (build/include/<target>/<folder>/), so neither a sub-folder's headers nor
# those of a library further up the stack can be found through it. What a
# library may include from others it gets from the libraries it links
# (PUBLIC), which is how the direction of dependency is enforced.
function(vela_library target folder)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.h)
  if(NOT sources)
    set(sources ${CMAKE_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(${target} STATIC ${sources})
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  vela_link_headers(${root}/${folder} "${headers}")
  target_include_directories(${target} PUBLIC ${root})
endfunction()

# Keeps <dir> holding one symbolic link per header in <headers>: links of
# headers that are gone are removed, generated files there are left alone.
function(vela_link_headers dir headers)
  file(MAKE_DIRECTORY ${dir})
  set(names)
  foreach(header ${headers})
    get_filename_component(name ${header} NAME)
    list(APPEND names ${name})
    if(NOT IS_SYMLINK ${dir}/${name})
      file(CREATE_LINK ${header} ${dir}/${name} SYMBOLIC)
    endif()
  endforeach()
  file(GLOB present ${dir}/*)
  foreach(path ${present})
    get_filename_component(name ${path} NAME)
    if(IS_SYMLINK ${path} AND NOT name IN_LIST names)
      file(REMOVE ${path})
    endif()
  endforeach()
endfunction()
