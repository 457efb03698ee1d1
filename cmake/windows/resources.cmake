# Windows resources of a program: the icon, the version information and the
# application manifest, compiled by windres into the executable.
#
#   korvanti_windows_resources(TARGET DESCRIPTION VERSION MANIFEST)
#
# The icon is drawn as text (icon.txt) and written here as the resource
# data itself, so that no binary file is kept in the sources.
# Set at every include: the folders that include this see only their own
# variables, and the functions, defined once, read it from there.
set(KORVANTI_WINDOWS_RESOURCES_DIR ${CMAKE_CURRENT_LIST_DIR})
include_guard(GLOBAL)

# Writes the icon's two resources, in resource-script form, to `out`: the
# image (type 3: a 32-bit BGRA bitmap with its transparency mask, rows from
# the bottom up) and the group that names it (type 14), both with ID 1,
# which Explorer shows as the program's icon. Numbers in the data are 16-bit
# little-endian words, or 32-bit with an L.
function(korvanti_write_icon_resources out)
  set(source ${KORVANTI_WINDOWS_RESOURCES_DIR}/icon.txt)
  file(STRINGS ${source} lines)
  set(rows "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^colour (.) ([0-9A-Fa-f][0-9A-Fa-f])([0-9A-Fa-f][0-9A-Fa-f])([0-9A-Fa-f][0-9A-Fa-f])$")
      # Blue and green, then red and an opaque alpha.
      set(colour_${CMAKE_MATCH_1} "0x${CMAKE_MATCH_3}${CMAKE_MATCH_4}, 0xFF${CMAKE_MATCH_2}")
    elseif(line MATCHES "^[^# ]+$")
      list(PREPEND rows "${line}")  # bottom row first
    endif()
  endforeach()
  list(LENGTH rows height)
  if(NOT height EQUAL 32)
    message(FATAL_ERROR "${source}: the picture has ${height} rows, not 32")
  endif()
  set(pixels "")
  set(mask "")
  foreach(row IN LISTS rows)
    string(LENGTH "${row}" width)
    if(NOT width EQUAL 32)
      message(FATAL_ERROR "${source}: a row of ${width} pixels, not 32: ${row}")
    endif()
    set(row_words "")
    set(mask_low 0)   # the row's first 16 pixels, one bit each, set where transparent
    set(mask_high 0)  # the last 16
    foreach(x RANGE 31)
      string(SUBSTRING "${row}" ${x} 1 letter)
      if(letter STREQUAL ".")
        string(APPEND row_words "0, 0, ")
        # The mask's bytes run from the leftmost pixel, each from its top bit.
        math(EXPR byte "${x} / 8")
        math(EXPR bit "7 - ${x} % 8 + (${byte} % 2) * 8")
        if(byte LESS 2)
          math(EXPR mask_low "${mask_low} | (1 << ${bit})")
        else()
          math(EXPR mask_high "${mask_high} | (1 << ${bit})")
        endif()
      elseif(DEFINED colour_${letter})
        string(APPEND row_words "${colour_${letter}}, ")
      else()
        message(FATAL_ERROR "${source}: no colour for '${letter}'")
      endif()
    endforeach()
    string(APPEND pixels "  ${row_words}\n")
    string(APPEND mask "${mask_low}, ${mask_high}, ")
  endforeach()
  # 40 bytes of header, 32 * 32 * 4 of pixels, 32 * 4 of mask.
  set(image_bytes 4264)
  string(CONCAT text
    "// Written from icon.txt at configure time.\n"
    "1 3 {\n"
    "  40L, 32L, 64L, 1, 32, 0L, 4224L, 0L, 0L, 0L, 0L,\n"
    "${pixels}"
    "  ${mask}\n"
    "}\n"
    "1 14 { 0, 1, 1, 0x2020, 0, 1, 32, ${image_bytes}L, 1 }\n")
  # Written only when changed, so that the programs' resources are not
  # compiled again at every configure.
  if(EXISTS ${out})
    file(READ ${out} old_text)
    if(old_text STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${out} "${text}")
endfunction()

function(korvanti_windows_resources target description version manifest)
  set(icon_rc ${CMAKE_BINARY_DIR}/windows_resources/icon.rc)
  korvanti_write_icon_resources(${icon_rc})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${KORVANTI_WINDOWS_RESOURCES_DIR}/icon.txt ${KORVANTI_WINDOWS_RESOURCES_DIR}/program.rc.in)
  # "1.0" is 1,0,0,0 in the numeric fields.
  string(REPLACE "." ";" numbers "${version}")
  list(APPEND numbers 0 0 0 0)
  list(SUBLIST numbers 0 4 numbers)
  string(REPLACE ";" "," RC_VERSION_NUMBERS "${numbers}")
  set(RC_NAME ${target})
  set(RC_DESCRIPTION "${description}")
  set(RC_VERSION "${version}")
  set(RC_MANIFEST ${manifest})
  set(RC_ICON ${icon_rc})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc)
  configure_file(${KORVANTI_WINDOWS_RESOURCES_DIR}/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${manifest} ${icon_rc})
endfunction()
