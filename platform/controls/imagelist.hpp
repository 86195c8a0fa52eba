// Image lists: numbered images of one size, each an ARGB32 cairo surface of
// our own (ImageList_Add copies what it is given), and the BUTTON messages
// that show one image per button state.
#pragma once
#include <cairo.h>

#include "platform/window.hpp"

namespace zun::win {

// 0 is no list; (HIMAGELIST)-1 is the "none" a button takes as no list too.
using HIMAGELIST = uintptr_t;
constexpr HIMAGELIST HIMAGELIST_NONE = static_cast<HIMAGELIST>(-1);

enum : UINT { ILC_MASK = 0x1, ILC_COLOR = 0x0, ILC_COLOR24 = 0x18, ILC_COLOR32 = 0x20 };
enum : UINT { ILD_NORMAL = 0x0, ILD_TRANSPARENT = 0x1 };

// A list of cx x cy images; initial and grow only reserve room. 0 when the
// size is not positive.
HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow);
bool ImageList_Destroy(HIMAGELIST list);
// Adds the image cut into cx-wide pieces left to right (a narrower image is
// one piece, the rest transparent); the mask is ignored (ARGB carries alpha).
// Answers the index of the first image added, -1 for a bad list or image.
int ImageList_Add(HIMAGELIST list, cairo_surface_t* image, cairo_surface_t* mask);
bool ImageList_Remove(HIMAGELIST list, int index);  // -1 removes all
int ImageList_GetImageCount(HIMAGELIST list);
bool ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy);
// The list's own surface of an image (not to be destroyed), null when absent.
cairo_surface_t* ImageList_GetImage(HIMAGELIST list, int index);
bool ImageList_Draw(HIMAGELIST list, int index, HDC dc, int x, int y, UINT style);

// ---- button image lists -------------------------------------------------------
enum : UINT { BCM_SETIMAGELIST = 0x1602, BCM_GETIMAGELIST = 0x1603 };
enum : UINT {
    BUTTON_IMAGELIST_ALIGN_LEFT = 0, BUTTON_IMAGELIST_ALIGN_RIGHT = 1, BUTTON_IMAGELIST_ALIGN_TOP = 2,
    BUTTON_IMAGELIST_ALIGN_BOTTOM = 3, BUTTON_IMAGELIST_ALIGN_CENTER = 4,
};
// The image of a state, when the list holds more than one: normal, hot,
// pressed, disabled, defaulted, stylus hot (PBS_* - 1).
enum : int { PBS_NORMAL = 1, PBS_HOT = 2, PBS_PRESSED = 3, PBS_DISABLED = 4, PBS_DEFAULTED = 5, PBS_STYLUSHOT = 6 };
struct BUTTON_IMAGELIST {
    HIMAGELIST himl = 0;
    RECT margin;
    UINT uAlign = BUTTON_IMAGELIST_ALIGN_LEFT;
};

}  // namespace zun::win
