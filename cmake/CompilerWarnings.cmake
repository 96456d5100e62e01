# Warning flags as an INTERFACE target, so each of our targets opts in and third-party code
# (Qt, GoogleTest) keeps its own settings.
add_library(quorvel_warnings INTERFACE)
if(MSVC)
  target_compile_options(quorvel_warnings INTERFACE /W4 /permissive- $<$<BOOL:${QUORVEL_WERROR}>:/WX>)
else()
  target_compile_options(quorvel_warnings INTERFACE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wnon-virtual-dtor -Wold-style-cast
    $<$<BOOL:${QUORVEL_WERROR}>:-Werror>)
endif()
