# The label pictures are listed once, in the drawing table of res/draw-labels.sh. From its
# rows ("FILE | encoding | width | height | ...") this writes, into the build folder,
# res/labels.qrc (what the program compiles in) and res/labelpictures.h (the constexpr list
# the code checks its model tables against, and the tests check the pictures against).
# A row whose picture file is missing stops the configuration.

file(STRINGS ${PROJECT_SOURCE_DIR}/res/draw-labels.sh label_rows
     REGEX "^  \"[A-Za-z0-9]+\\.(jpg|png) \\|")
set(label_qrc_files "")
set(label_header_rows "")
foreach(row IN LISTS label_rows)
  string(REGEX MATCH "\"([A-Za-z0-9]+\\.(jpg|png)) \\| ([a-z0-9-]+) \\| ([0-9]+) \\| ([0-9]+) \\|" _ "${row}")
  set(file ${CMAKE_MATCH_1})
  set(encoding ${CMAKE_MATCH_3})
  if(NOT EXISTS ${PROJECT_SOURCE_DIR}/res/${file})
    message(FATAL_ERROR "res/draw-labels.sh lists ${file}, but res/${file} does not exist: run res/draw-labels.sh")
  endif()
  if(encoding STREQUAL "jpeg-prog")
    set(encoding ProgressiveJpeg)
  elseif(encoding STREQUAL "jpeg-base")
    set(encoding BaselineJpeg)
  elseif(encoding STREQUAL "png-rgba")
    set(encoding PngRgba8)
  elseif(encoding STREQUAL "png-pal4")
    set(encoding PngPalette4)
  else()
    message(FATAL_ERROR "res/draw-labels.sh: ${file} has an unknown encoding ${encoding}")
  endif()
  string(APPEND label_qrc_files "        <file alias=\"${file}\">${PROJECT_SOURCE_DIR}/res/${file}</file>\n")
  string(APPEND label_header_rows "    {\":/qjpg/res/${file}\", Encoding::${encoding}, ${CMAKE_MATCH_4}, ${CMAKE_MATCH_5}},\n")
endforeach()
if(label_header_rows STREQUAL "")
  message(FATAL_ERROR "res/draw-labels.sh: no picture rows found")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/res/draw-labels.sh)

file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/res/labels.qrc CONTENT
"<!DOCTYPE RCC>
<RCC version=\"1.0\">
    <qresource prefix=\"/qjpg/res\">
${label_qrc_files}    </qresource>
</RCC>
")

file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/res/labelpictures.h CONTENT
"#ifndef QUORVANE_LABELPICTURES_H
#define QUORVANE_LABELPICTURES_H

// Written by res/labelpictures.cmake from the drawing table of res/draw-labels.sh: the
// licence-label pictures compiled into the program under \":/qjpg/res/\", with what each
// file must be. Model tables check their pictures against it with labelpictures::listed.

namespace labelpictures {

enum class Encoding { ProgressiveJpeg, BaselineJpeg, PngRgba8, PngPalette4 };

struct Picture {
    const char *path;
    Encoding encoding;
    int width;
    int height;
};

inline constexpr Picture all[] = {
${label_header_rows}};

constexpr bool samePath(const char *a, const char *b)
{
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

// True when `path` names a compiled-in picture (a null path names none and passes).
constexpr bool listed(const char *path)
{
    if (!path)
        return true;
    for (const Picture &picture : all) {
        if (samePath(picture.path, path))
            return true;
    }
    return false;
}

} // namespace labelpictures

#endif // QUORVANE_LABELPICTURES_H
" @ONLY)
