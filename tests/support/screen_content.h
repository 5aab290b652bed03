#pragma once
// Window contents that compress as screens do, drawn at the DC's origin:
// for the PNG benchmark and the tests of the PNG settings.
#include <windows.h>

// Smooth gradients with fine noise: compresses like a photograph.
void PaintPhoto(HDC dc, int width, int height);
// A debugger's CPU window: a toolbar, a disassembly listing with addresses,
// bytes and instructions, a register panel and a hex dump, in flat colours.
void PaintListing(HDC dc, int width, int height);
// A classic dialog: grey panels, etched group boxes, raised buttons, white
// edits and labels in greyscale-antialiased text.
void PaintDialog(HDC dc, int width, int height);
