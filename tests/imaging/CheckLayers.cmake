# Fails when a part of imaging includes a part it must not know, or when the
# core calls a Linux-only interface instead of going through src/platform.
# Run by CTest as `cmake -DSOURCE_DIR=<repo> -P CheckLayers.cmake`.

# What each part of imaging may include of the other parts.
set(allowed_pixels "")
set(allowed_color "imaging/pixels/")
set(allowed_codec "imaging/pixels/;imaging/color/")
# The edit model describes work on images: it takes the lazy image and the
# colour chain as values, and colour maths, and nothing that does the work.
set(allowed_edit "imaging/pixels/;imaging/render/Image.h;imaging/color/ColorChain.h;imaging/color/ColorMath.h")
set(allowed_render "imaging/")

set(faults "")
foreach(part pixels color codec edit render)
  file(GLOB files "${SOURCE_DIR}/src/imaging/${part}/*.h" "${SOURCE_DIR}/src/imaging/${part}/*.cpp")
  foreach(file ${files})
    file(STRINGS "${file}" includes REGEX "^#include \"imaging/")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
      set(ok FALSE)
      foreach(prefix ${allowed_${part}})
        string(FIND "${header}" "${prefix}" at)
        if(at EQUAL 0)
          set(ok TRUE)
        endif()
      endforeach()
      if(NOT ok)
        string(APPEND faults "  ${file}: ${part} includes ${header}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

# The core builds on another system by swapping the platform layer only.
foreach(folder card store imaging ui tv update)
  file(GLOB_RECURSE files "${SOURCE_DIR}/src/${folder}/*.h" "${SOURCE_DIR}/src/${folder}/*.cpp")
  foreach(file ${files})
    file(STRINGS "${file}" lines REGEX "O_TMPFILE|renameat2|/proc/|MADV_|linux/|libudev|avahi")
    foreach(line ${lines})
      string(APPEND faults "  ${file}: system call outside src/platform: ${line}\n")
    endforeach()
  endforeach()
endforeach()

if(faults)
  message(FATAL_ERROR "Layering faults:\n${faults}")
endif()
message(STATUS "imaging parts and platform calls keep their layers")
