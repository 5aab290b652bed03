#pragma once
// Device-independent bitmaps held in one moveable global block (40-byte
// BITMAPINFOHEADER, colour table, pixel rows bottom line first) and the BMP
// file writer.
#include <windows.h>
#include <cstdint>

int32_t ScanLineBytes(int32_t bitsPerRow);
bool IsInfoHeader(const void* header);
uint32_t DibColorCount(const BITMAPINFOHEADER* header);
uint32_t DibColorTableSize(const BITMAPINFOHEADER* header);
int32_t DisplayColorCount(HDC dc);
// The DIB bit count (1, 4, 8, 24 or 32) that holds pixels of the given
// display depth; depths above 32 are returned unchanged.
int32_t DibBitCountForDepth(int32_t depth);

HPALETTE CreateSystemPalette();
HGLOBAL AllocDib(const BITMAPINFOHEADER& header, HBITMAP bitmap);
HGLOBAL BitmapToDib(HBITMAP bitmap, int32_t bitCount, HPALETTE palette);
uint32_t WriteBmpFile(HGLOBAL dib, const char* fileName);
int FreeDib(HGLOBAL dib);
