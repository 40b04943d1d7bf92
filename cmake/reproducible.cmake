# The same commit gives the same Windows exes wherever and whenever it is
# built, so that anyone can check a release against a rebuild of it.
#
# __FILE__ in our code and the runtime's keeps no build path: the source and
# build folders are written relative. The linker writes no time into the PE
# header (its field stays 0), and windres never writes one into resources.
add_compile_options(
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
  -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
add_link_options(-Wl,--no-insert-timestamp)
