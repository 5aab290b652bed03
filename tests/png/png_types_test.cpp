// The bound function types, checked against libpng's own declarations.
#include "capture/png_output.h"

#include <png.h>

#include <cstddef>
#include <type_traits>

#define PIXMERLE_SAME_TYPE(name) \
    static_assert(std::is_same_v<PngFn::name, decltype(&::name)>, #name " is bound with the wrong type")

PIXMERLE_SAME_TYPE(png_create_write_struct);
PIXMERLE_SAME_TYPE(png_create_info_struct);
PIXMERLE_SAME_TYPE(png_destroy_write_struct);
PIXMERLE_SAME_TYPE(png_init_io);
PIXMERLE_SAME_TYPE(png_set_IHDR);
PIXMERLE_SAME_TYPE(png_set_swap);
PIXMERLE_SAME_TYPE(png_set_write_status_fn);
PIXMERLE_SAME_TYPE(png_write_info);
PIXMERLE_SAME_TYPE(png_write_image);
PIXMERLE_SAME_TYPE(png_write_end);
PIXMERLE_SAME_TYPE(png_write_flush);
PIXMERLE_SAME_TYPE(png_get_libpng_ver);
PIXMERLE_SAME_TYPE(png_set_PLTE);
PIXMERLE_SAME_TYPE(png_set_packing);
static_assert(sizeof(PngColour) == sizeof(png_color));
static_assert(offsetof(PngColour, red) == offsetof(png_color, red));
static_assert(offsetof(PngColour, green) == offsetof(png_color, green));
static_assert(offsetof(PngColour, blue) == offsetof(png_color, blue));
static_assert(std::is_same_v<PngFn::ErrorFn, png_error_ptr>);
static_assert(std::is_same_v<PngFn::WriteStatusFn, png_write_status_ptr>);

// png_set_text takes libpng's png_text; the plug-in fills its own copy of the layout.
static_assert(std::is_same_v<PngFn::png_set_text,
                             void(__cdecl*)(const png_struct_def*, png_info_def*, const PngText*, int)>);
static_assert(std::is_same_v<decltype(&::png_set_text),
                             void(__cdecl*)(const png_struct_def*, png_info_def*, const png_text*, int)>);
static_assert(sizeof(PngText) == sizeof(png_text));
static_assert(offsetof(PngText, compression) == offsetof(png_text, compression));
static_assert(offsetof(PngText, key) == offsetof(png_text, key));
static_assert(offsetof(PngText, text) == offsetof(png_text, text));
static_assert(offsetof(PngText, text_length) == offsetof(png_text, text_length));
static_assert(offsetof(PngText, itxt_length) == offsetof(png_text, itxt_length));
static_assert(offsetof(PngText, lang) == offsetof(png_text, lang));
static_assert(offsetof(PngText, lang_key) == offsetof(png_text, lang_key));
