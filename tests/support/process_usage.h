#pragma once
// What this process holds, for showing that repeated work leaks nothing.
#include <cstdint>
#include <string>

// GDI objects alive in this process. Wine's GetGuiResources reports 0, so the
// handle table is walked by index (a handle with a zero high word matches
// any generation of its slot).
int LiveGdiObjects();
// Kernel handles open in this process, found by probing handle values.
int OpenKernelHandles();
// Committed private memory in bytes (heaps, global blocks, stacks).
uint64_t PrivateBytes();

struct Usage {
    int gdiObjects = 0;
    int kernelHandles = 0;
    uint64_t privateBytes = 0;
};
Usage MeasureUsage();
std::string Describe(const Usage& usage);

// Every heap of the process is intact: a late answer written into a block
// that was given back would show here.
bool HeapsIntact();
