# Compiler settings shared by every Kelvor target: warnings, sanitizers and the Shift_JIS literals.

if(KELVOR_SANITIZE)
  # Light optimisation and line tables only: the sanitized build then takes two thirds of the
  # time to compile, its tests run as fast, and its reports still name files and lines.
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
                      -O1 -g1)
  add_link_options(-fsanitize=address,undefined)
endif()

function(kelvor_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Japanese literals are written in UTF-8 in the sources and must land in the program as
# Shift_JIS (code page 932), the form in which the whole program holds its text. Only the
# files that hold such literals get the flag: with g++ 12, <chrono> does not compile under it.
# Clang has no such conversion; its builds (the fuzzers) keep the literals in UTF-8, which
# changes no behaviour they look at.
function(kelvor_shift_jis_sources target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    set_source_files_properties(${ARGN} TARGET_DIRECTORY ${target}
      PROPERTIES COMPILE_OPTIONS "-fexec-charset=CP932")
  endif()
endfunction()
