/* A stand-in PNG library for the binding tests. Built several times, each
   build exporting a chosen subset of libpng's write functions:
     STAND_IN_NO_OPEN_FILE, STAND_IN_NO_CLOSE_FILE, STAND_IN_NO_SWAP
   leave out png_open_file, png_close_file or png_set_swap;
     STAND_IN_REFUSE_1_0_1 refuses the version string "1.0.1" only;
     STAND_IN_REFUSE_ALL refuses every version string;
     STAND_IN_NO_INFO cannot create an info structure;
     STAND_IN_FAIL_WRITE, while failures are switched on, writes part of the
     rows and then calls the error function it was given, as libpng does when
     a write fails; should that function return, it aborts, as libpng does;
     and once asked to, its png_write_end moves a folder away, as a user
     might while the file in it is being finished. It also writes palette
     images, and while palette failures are switched on its png_set_PLTE
     calls the error function, as libpng does for a palette it refuses.
   Instead of an image it writes one line naming the version string that it
   accepted, through the C runtime the file was opened with. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPORT __declspec(dllexport)

typedef void (*error_fn)(void*, const char*);

struct png_struct_def {
    char version[32];
    FILE* file;
#ifdef STAND_IN_FAIL_WRITE
    error_fn error;
    int colour_type;
    unsigned char palette[256][3];
#endif
};
struct png_info_def {
    int unused;
};

static int open_file_calls;
#ifdef STAND_IN_FAIL_WRITE
static int failing;
static int failing_palettes;
static int live_structs;
static int error_calls;
static char folder_to_move[260], moved_folder[260];
EXPORT void stand_in_fail_writes(int on) { failing = on; }
EXPORT void stand_in_fail_palettes(int on) { failing_palettes = on; }
EXPORT void stand_in_move_folder_at_end(const char* folder, const char* to) {
    strncpy(folder_to_move, folder, sizeof(folder_to_move) - 1);
    strncpy(moved_folder, to, sizeof(moved_folder) - 1);
}
EXPORT int stand_in_live_structs(void) { return live_structs; }
EXPORT int stand_in_error_calls(void) { return error_calls; }
#endif
EXPORT int stand_in_open_file_calls(void) { return open_file_calls; }

#ifndef STAND_IN_NO_OPEN_FILE
EXPORT FILE* png_open_file(const char* name, const char* mode) {
    ++open_file_calls;
    return fopen(name, mode);
}
#endif

#ifndef STAND_IN_NO_CLOSE_FILE
EXPORT int png_close_file(FILE* file) { return fclose(file); }
#endif

EXPORT struct png_struct_def* png_create_write_struct(const char* version, void* error_ptr, error_fn error,
                                                      error_fn warning) {
    struct png_struct_def* png;
    (void)error_ptr;
    (void)error;
    (void)warning;
#ifdef STAND_IN_REFUSE_ALL
    (void)version;
    return NULL;
#else
#ifdef STAND_IN_REFUSE_1_0_1
    if (strcmp(version, "1.0.1") == 0) return NULL;
#endif
    png = calloc(1, sizeof(*png));
    strncpy(png->version, version, sizeof(png->version) - 1);
#ifdef STAND_IN_FAIL_WRITE
    png->error = error;
    ++live_structs;
#endif
    return png;
#endif
}

EXPORT struct png_info_def* png_create_info_struct(struct png_struct_def* png) {
    (void)png;
#ifdef STAND_IN_NO_INFO
    return NULL;
#endif
#ifdef STAND_IN_FAIL_WRITE
    ++live_structs;
#endif
    return calloc(1, sizeof(struct png_info_def));
}

EXPORT void png_destroy_write_struct(struct png_struct_def** png, struct png_info_def** info) {
    if (info && *info) {
#ifdef STAND_IN_FAIL_WRITE
        --live_structs;
#endif
        free(*info);
        *info = NULL;
    }
    if (png && *png) {
#ifdef STAND_IN_FAIL_WRITE
        --live_structs;
#endif
        free(*png);
        *png = NULL;
    }
}

EXPORT void png_init_io(struct png_struct_def* png, FILE* file) { png->file = file; }
#ifdef STAND_IN_FAIL_WRITE
EXPORT void png_set_IHDR(struct png_struct_def* png, void* info, unsigned w, unsigned h, int depth, int type, int c,
                         int d, int e) {
    (void)info; (void)w; (void)h; (void)depth; (void)c; (void)d; (void)e;
    png->colour_type = type;
}
EXPORT void png_set_PLTE(struct png_struct_def* png, void* info, const unsigned char* palette, int count) {
    (void)info;
    if (failing_palettes) {
        ++error_calls;
        if (png->error) png->error(png, "Invalid palette length");
        abort();
    }
    memcpy(png->palette, palette, (size_t)count * 3);
}
EXPORT void png_set_packing(void* png) { (void)png; }
#else
EXPORT void png_set_IHDR(void* png, void* info, unsigned w, unsigned h, int a, int b, int c, int d, int e) {
    (void)png; (void)info; (void)w; (void)h; (void)a; (void)b; (void)c; (void)d; (void)e;
}
#endif
#ifndef STAND_IN_NO_SWAP
EXPORT void png_set_swap(void* png) { (void)png; }
#endif
EXPORT void png_set_text(void* png, void* info, const void* text, int count) {
    (void)png; (void)info; (void)text; (void)count;
}
EXPORT void png_set_write_status_fn(void* png, void* fn) { (void)png; (void)fn; }
#ifdef STAND_IN_FAIL_WRITE
EXPORT void png_write_info(struct png_struct_def* png, void* info) {
    (void)info;
    fprintf(png->file, "stand-in %s type %d\n", png->version, png->colour_type);
}
/* The first pixel of the top row, looked up in the palette of a palette image. */
EXPORT void png_write_image(struct png_struct_def* png, unsigned char** rows) {
    const unsigned char* first = png->colour_type == 3 ? png->palette[rows[0][0]] : rows[0];
    fprintf(png->file, "row %02x%02x%02x\n", first[0], first[1], first[2]);
    if (!failing) return;
    ++error_calls;
    if (png->error) png->error(png, "Write Error");
    abort();
}
#else
EXPORT void png_write_info(struct png_struct_def* png, void* info) {
    (void)info;
    fprintf(png->file, "stand-in %s\n", png->version);
}
EXPORT void png_write_image(void* png, unsigned char** rows) { (void)png; (void)rows; }
#endif
EXPORT void png_write_end(void* png, void* info) {
    (void)png;
    (void)info;
#ifdef STAND_IN_FAIL_WRITE
    if (folder_to_move[0]) rename(folder_to_move, moved_folder);
    folder_to_move[0] = '\0';
#endif
}
EXPORT void png_write_flush(void* png) { (void)png; }
