#pragma once
// A zlib stream of PNG scanlines, compressed by the plug-in itself: screen
// pictures repeat the row above and the glyph before, which a parse that
// weighs each match by its cost in bits finds better than zlib's lazy one.
#include <cstddef>
#include <cstdint>
#include <vector>

// `data` holds whole scanlines of `lineBytes` bytes each, every one with
// its filter byte first. False, with `out` empty, when memory runs out.
bool DeflateScanlines(const unsigned char* data, size_t size, size_t lineBytes, std::vector<unsigned char>& out);
