// Text through pango. Layout happens in a private pango context with unhinted metrics and
// unrounded glyph positions, so a text measures the same whatever the device scale of the
// surface it is later drawn on: views lay out identically at 1×, 1.5× and 2×.

#include "platform/ui/graphics.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-fontmap.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>

namespace zerin {

namespace {

constexpr const char* kFallbackFamily = "DejaVu Sans";
constexpr const char* kMonospacedFamily = "DejaVu Sans Mono";
// Every view measures and draws its texts every frame; a few hundred distinct texts cover
// the editor many times over. Past that the cache starts again rather than tracking use.
constexpr std::size_t kMaxCachedLayouts = 512;

struct CachedLayout {
    PangoLayout* layout = nullptr;
    double offsetX = 0.0; // where the logical box starts relative to the layout's origin
    double offsetY = 0.0;
    Size size;
};

} // namespace

class TextSystem {
public:
    TextSystem() {
        // A font map of its own, so that fonts, their metrics and pango's caches go with this
        // system; and fonts told apart from every other system's. cairo hands out one scaled
        // font, which carries the glyphs uploaded to every X display it was drawn to, for all
        // requests with the same font face and options, across font maps. A variation setting
        // for an axis that no font has makes the faces this map asks for its own, and changes
        // nothing drawn. (The same in cairo's font options would be copied, and leaked by
        // cairo 1.16, with every text drawn.)
        fontMap = pango_cairo_font_map_new();
        static std::atomic<unsigned> systems{0};
        const std::string variations = "ZRNE=" + std::to_string(++systems);
        pango_fc_font_map_set_default_substitute(PANGO_FC_FONT_MAP(fontMap), markPattern,
                                                 g_strdup(variations.c_str()), g_free);
        context = pango_font_map_create_context(fontMap);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_context_set_round_glyph_positions(context, FALSE);
        standardFamily = hasFamily("Inter") ? "Inter" : kFallbackFamily;
    }
    ~TextSystem() {
        clear();
        g_object_unref(context);
        g_object_unref(fontMap);
    }
    TextSystem(const TextSystem&) = delete;
    TextSystem& operator=(const TextSystem&) = delete;

    const CachedLayout& layout(std::string_view text, const Font& font, double ellipsizeWidth);
    std::string resolvedFamily(FontDesign design);

private:
    static void markPattern(FcPattern* pattern, gpointer variations) {
        FcPatternDel(pattern, FC_FONT_VARIATIONS);
        FcPatternAddString(pattern, FC_FONT_VARIATIONS, static_cast<const FcChar8*>(variations));
    }
    bool hasFamily(const char* name) const;
    PangoFontDescription* describe(const Font& font) const;
    CachedLayout makeLayout(std::string_view text, const Font& font, double ellipsizeWidth) const;
    void clear();

    PangoFontMap* fontMap = nullptr;
    PangoContext* context = nullptr;
    std::string standardFamily;
    std::unordered_map<std::string, CachedLayout> cache;
    std::string key; // reused so that a hit allocates nothing once it has grown
};

void DrawingCaches::Deleter::operator()(TextSystem* system) const {
    delete system;
}

TextSystem& DrawingCaches::text() {
    if (!mText) mText.reset(new TextSystem());
    return *mText;
}

namespace {

// Measuring needs no window: the shared system's sizes are every window's, since the fonts
// are the same and their metrics unhinted.
TextSystem& textSystem() {
    return sharedDrawingCaches().text();
}

} // namespace

bool TextSystem::hasFamily(const char* name) const {
    PangoFontFamily** families = nullptr;
    int count = 0;
    pango_font_map_list_families(pango_context_get_font_map(context), &families, &count);
    bool found = false;
    for (int i = 0; i < count && !found; ++i)
        found = g_ascii_strcasecmp(pango_font_family_get_name(families[i]), name) == 0;
    g_free(families);
    return found;
}

namespace {

PangoWeight pangoWeight(FontWeight weight) {
    switch (weight) {
        case FontWeight::regular:
            return PANGO_WEIGHT_NORMAL;
        case FontWeight::medium:
            return PANGO_WEIGHT_MEDIUM;
        case FontWeight::semibold:
            return PANGO_WEIGHT_SEMIBOLD;
        case FontWeight::bold:
            return PANGO_WEIGHT_BOLD;
    }
    return PANGO_WEIGHT_NORMAL;
}

} // namespace

PangoFontDescription* TextSystem::describe(const Font& font) const {
    PangoFontDescription* desc = pango_font_description_new();
    const bool mono = font.design == FontDesign::monospaced;
    pango_font_description_set_family(desc, mono ? kMonospacedFamily : standardFamily.c_str());
    pango_font_description_set_weight(desc, pangoWeight(font.weight));
    // Absolute size: user units are points, so no resolution comes into it.
    const double size = std::isfinite(font.size) ? std::clamp(font.size, 0.5, 1000.0) : 12.0;
    pango_font_description_set_absolute_size(desc, size * PANGO_SCALE);
    return desc;
}

CachedLayout TextSystem::makeLayout(std::string_view text, const Font& font,
                                    double ellipsizeWidth) const {
    PangoLayout* layout = pango_layout_new(context);
    PangoFontDescription* desc = describe(font);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    // One line always: a newline in a name shows as a glyph instead of a second line.
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    const char* end = nullptr;
    const auto length = static_cast<gssize>(text.size());
    if (g_utf8_validate(text.data(), length, &end)) {
        pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    } else {
        gchar* valid = g_utf8_make_valid(text.data(), length);
        pango_layout_set_text(layout, valid, -1);
        g_free(valid);
    }
    if (font.tracking != 0.0 && std::isfinite(font.tracking)) {
        PangoAttrList* attributes = pango_attr_list_new();
        const double tracking = std::clamp(font.tracking, -100.0, 100.0);
        pango_attr_list_insert(attributes, pango_attr_letter_spacing_new(static_cast<int>(
                                               std::lround(tracking * PANGO_SCALE))));
        pango_layout_set_attributes(layout, attributes);
        pango_attr_list_unref(attributes);
    }
    if (ellipsizeWidth >= 0.0) {
        pango_layout_set_width(layout, static_cast<int>(std::floor(ellipsizeWidth * PANGO_SCALE)));
        pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const double scale = PANGO_SCALE;
    return {layout, logical.x / scale, logical.y / scale,
            Size{logical.width / scale, logical.height / scale}};
}

const CachedLayout& TextSystem::layout(std::string_view text, const Font& font,
                                       double ellipsizeWidth) {
    key.clear();
    const double numbers[] = {font.size, font.tracking, ellipsizeWidth};
    key.append(reinterpret_cast<const char*>(numbers), sizeof numbers);
    key.push_back(static_cast<char>(font.weight));
    key.push_back(static_cast<char>(font.design));
    key.append(text);
    if (auto found = cache.find(key); found != cache.end()) return found->second;
    if (cache.size() >= kMaxCachedLayouts) clear();
    return cache.emplace(key, makeLayout(text, font, ellipsizeWidth)).first->second;
}

void TextSystem::clear() {
    for (auto& [unused, entry] : cache)
        g_object_unref(entry.layout);
    cache.clear();
}

std::string TextSystem::resolvedFamily(FontDesign design) {
    Font font;
    font.design = design;
    PangoFontDescription* desc = describe(font);
    PangoFont* loaded = pango_context_load_font(context, desc);
    pango_font_description_free(desc);
    if (loaded == nullptr) return {};
    PangoFontDescription* actual = pango_font_describe(loaded);
    const char* family = pango_font_description_get_family(actual);
    std::string name = family != nullptr ? family : "";
    pango_font_description_free(actual);
    g_object_unref(loaded);
    return name;
}

namespace {

void showLayout(cairo_t* cr, const CachedLayout& entry, const Color& color, double left,
                double top) {
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    cairo_move_to(cr, left - entry.offsetX, top - entry.offsetY);
    pango_cairo_show_layout(cr, entry.layout);
    cairo_new_path(cr);
}

} // namespace

// The size is pango's logical box. Pango puts the letter spacing between characters only, none
// after the last one, so a tracked text grows by (characters - 1) × tracking and its box still
// hugs its ink: centring a tracked caption centres what is seen.
Size measureText(std::string_view text, const Font& font) {
    return textSystem().layout(text, font, -1.0).size;
}

std::string resolvedFontFamily(FontDesign design) {
    return textSystem().resolvedFamily(design);
}

void Graphics::drawText(std::string_view text, const Font& font, const Color& color, Point center) {
    const CachedLayout& entry = caches->text().layout(text, font, -1.0);
    showLayout(cr, entry, color, center.x - entry.size.width / 2.0,
               center.y - entry.size.height / 2.0);
}

void Graphics::drawTextInBox(std::string_view text, const Font& font, const Color& color,
                             const Rect& box, TextAlignment alignment) {
    if (!(box.width > 0.0)) return;
    TextSystem& system = caches->text();
    const CachedLayout* entry = &system.layout(text, font, -1.0);
    if (entry->size.width > box.width) entry = &system.layout(text, font, box.width);
    double left = box.x;
    if (alignment == TextAlignment::center) left += (box.width - entry->size.width) / 2.0;
    if (alignment == TextAlignment::trailing) left = box.maxX() - entry->size.width;
    showLayout(cr, *entry, color, left, box.y + (box.height - entry->size.height) / 2.0);
}

} // namespace zerin
