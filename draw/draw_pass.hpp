// The draw pass on image targets: a block of drawing commands painted with
// cairo over the image's premultiplied pixels.
#pragma once

namespace zun::draw {

// Binds the global `draw` routine (an image or a size, and the commands).
void bind();

}  // namespace zun::draw
