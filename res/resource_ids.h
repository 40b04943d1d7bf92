#ifndef QLX_RES_RESOURCE_IDS_H
#define QLX_RES_RESOURCE_IDS_H
/* The program's resource identifiers, shared by qlxdrive.rc and the C++ code.
   Plain preprocessor definitions only: windres reads this file too. */

/* The program icon. The lowest icon ID is the one Explorer shows for the
   exe, so it is 1. */
#define IDI_QLXDRIVE 1

/* The tray's five cloud images, consecutive and in the image list's order. */
#define IDI_CLOUD_BLUE 101
#define IDI_CLOUD_RED 102
#define IDI_CLOUD_GREEN 103
#define IDI_CLOUD_ORANGE 104
#define IDI_CLOUD_VIOLET 105
#define QLX_CLOUD_COUNT 5

/* The application manifest: ID 1 of type RT_MANIFEST (24), the one the
   loader reads for an exe. */
#define IDR_MANIFEST 1
#define QLX_RT_MANIFEST 24

/* The theme "Obsidian": an RT_RCDATA (10) resource named OBSIDIAN holding
   the text of res/obsidian.theme (see ui/theme_file.h). qlxdrive.rc spells
   the name out, as a resource statement cannot take it from a string. */
#define QLX_RT_THEME 10

#ifndef RC_INVOKED
#define QLX_THEME_RESOURCE_NAME L"OBSIDIAN"
/* The theme's name as the user sees it, in "Style '%s' not found". */
#define QLX_THEME_DISPLAY_NAME u"Obsidian"
#endif

#endif
