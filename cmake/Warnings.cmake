# One curated warning set for every target of the project (not for dependencies).
add_library(velqor_warnings INTERFACE)
target_compile_options(velqor_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual -Wimplicit-fallthrough
  -Wcast-qual -Wundef -Wno-missing-field-initializers
  $<$<BOOL:${VELQOR_WERROR}>:-Werror>)
