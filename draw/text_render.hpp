// Text layouts made for a rendering: a pango context per rendering over the
// shared font map, chosen for the layouts made while a scope lasts.
#pragma once
#include <pango/pangocairo.h>

#include "platform/text_rendering.hpp"

namespace zun::draw {

using win::TextRendering;

// While a scope lasts, text layouts are made in a context of the rendering
// (one per rendering, over the shared font map); outside, in the measuring
// context.
class TextRenderingScope {
public:
    explicit TextRenderingScope(const TextRendering& rendering);
    ~TextRenderingScope();
    TextRenderingScope(const TextRenderingScope&) = delete;
    TextRenderingScope& operator=(const TextRenderingScope&) = delete;

private:
    PangoContext* m_saved;
};
PangoContext* layout_context();

}  // namespace zun::draw
