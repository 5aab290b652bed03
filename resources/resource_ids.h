#pragma once
// Identifiers of the plug-in's resources.

// Names of the PNG library, the C runtime and the functions bound from them.
#define IDS_PNG_WRITE_INFO 65504
#define IDS_FOPEN 65505
#define IDS_FCLOSE 65506
#define IDS_PNG_LIBRARY 65520
#define IDS_PNG_LIBRARY_ALTERNATE 65521
#define IDS_C_RUNTIME 65522
#define IDS_PNG_CLOSE_FILE 65523
#define IDS_PNG_CREATE_INFO_STRUCT 65524
#define IDS_PNG_CREATE_WRITE_STRUCT 65525
#define IDS_PNG_DESTROY_WRITE_STRUCT 65526
#define IDS_PNG_INIT_IO 65527
#define IDS_PNG_OPEN_FILE 65528
#define IDS_PNG_SET_IHDR 65529
#define IDS_PNG_SET_SWAP 65530
#define IDS_PNG_SET_TEXT 65531
#define IDS_PNG_SET_WRITE_STATUS_FN 65532
#define IDS_PNG_WRITE_END 65533
#define IDS_PNG_WRITE_FLUSH 65534
#define IDS_PNG_WRITE_IMAGE 65535

// The capture dialog and its artwork.
#define IDD_CAPTURE 1000
#define IDI_APP 200
#define IDI_FINDER_EMPTY 202
#define IDI_FINDER 203
#define IDC_DRAG 301
// The application icon as PNG bytes, for menus that take PNG pictures.
#define IDR_MENU_ICON_PNG 205

// Controls of the capture dialog.
#define IDC_FINDER 101
#define IDC_ABOUT 104
#define IDC_EXIT 105
#define IDC_TAKE_CAPTURE 106
#define IDC_FLASH 107
#define IDC_FOLDER_EDIT 201
#define IDC_BROWSE 204
#define IDC_APPLY 207
#define IDC_SAVE_TO_FOLDER 209
#define IDC_HIDE_ON_CAPTURE 212
#define IDC_COPY_TO_CLIPBOARD 213
// The window under the finder: class, size, text, process.
#define IDC_PICK_LINE 220
