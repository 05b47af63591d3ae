// Ids shared by sliverdisk.rc and the code. Plain #defines so windres can read them.
#ifndef SLIVERDISK_RESOURCE_H
#define SLIVERDISK_RESOURCE_H

// Menu commands
#define IDM_COPY_TO_FLOPPIES      40002
#define IDM_REASSEMBLE            40003
#define IDM_ABOUT                 40004
#define IDM_MEDIA_FLOPPY          40005
#define IDM_MEDIA_ZIP             40006
#define IDM_MEDIA_JAZ             40007
#define IDM_MEDIA_CUSTOM          40008
#define IDM_HOW_TO_USE            40010
#define IDM_EXIT                  1080

// Input box controls (OK and Cancel are the standard IDOK and IDCANCEL)
#define IDC_INPUT_EDIT            1000
#define IDC_INPUT_PROMPT          40009

// String table: each start-up error code is the id of its message
#define IDS_ERR_REGISTER_CLASS    1
#define IDS_ERR_CREATE_WINDOW     2
#define IDS_ERR_INITIALIZATION    4
#define IDS_ERR_MEMORY            6

#endif
