#ifndef QUORVANE_LABELPICTURES_H
#define QUORVANE_LABELPICTURES_H

// The licence-label pictures compiled into the program under ":/qjpg/res/". The dialogues
// name them by path; this list records what each file must be, so that the drawing
// script (res/draw-labels.sh) and the checks on the bundle agree.

namespace labelpictures {

enum class Encoding { ProgressiveJpeg, BaselineJpeg, PngRgba8, PngPalette4 };

struct Picture {
    const char *path;
    Encoding encoding;
    int width;
    int height;
};

inline constexpr Picture all[] = {
    {":/qjpg/res/LBL01.jpg", Encoding::ProgressiveJpeg, 243, 121},
    {":/qjpg/res/LBL02.jpg", Encoding::ProgressiveJpeg, 243, 121},
    {":/qjpg/res/LBL03.jpg", Encoding::ProgressiveJpeg, 243, 121},
    {":/qjpg/res/LBL04.jpg", Encoding::ProgressiveJpeg, 243, 121},
    {":/qjpg/res/LBL05.jpg", Encoding::ProgressiveJpeg, 243, 121},
    {":/qjpg/res/LBL06.jpg", Encoding::ProgressiveJpeg, 243, 121},
    {":/qjpg/res/LBL07.jpg", Encoding::ProgressiveJpeg, 243, 121},
    {":/qjpg/res/LBL08.jpg", Encoding::BaselineJpeg, 246, 122},
    {":/qjpg/res/LBL09.png", Encoding::PngRgba8, 243, 121},
    {":/qjpg/res/LBL10.jpg", Encoding::BaselineJpeg, 243, 121},
    {":/qjpg/res/LBL11.png", Encoding::PngRgba8, 243, 121},
    {":/qjpg/res/LBL12.png", Encoding::PngRgba8, 243, 121},
    {":/qjpg/res/LBL13.png", Encoding::PngRgba8, 243, 121},
    {":/qjpg/res/LBL14.png", Encoding::PngPalette4, 230, 116},
    {":/qjpg/res/LBL15.png", Encoding::PngRgba8, 243, 121},
    {":/qjpg/res/LBL16.png", Encoding::PngRgba8, 243, 121},
    {":/qjpg/res/LBL17.png", Encoding::PngRgba8, 246, 122},
    {":/qjpg/res/BKG00.png", Encoding::PngRgba8, 243, 121},
};

} // namespace labelpictures

#endif // QUORVANE_LABELPICTURES_H
