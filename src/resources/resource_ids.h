/* Every resource and control id of the program, named once. Included by the resource script
   (so only preprocessor definitions here) and by the Win32 front end. */
#ifndef VESPA_RESOURCE_IDS_H
#define VESPA_RESOURCE_IDS_H

#define IDI_PROGRAM 3

#define IDD_ABOUT 100
#define IDD_TEXT_VIEWER 104
#define IDD_PASSWORD 105
#define IDD_OVERWRITE 106
#define IDD_MAIN 1000

#define IDC_STATIC (-1)

/* Main dialog (1000). The open-file common dialog looks its own controls up by the ids of its
   standard template: the directory list, the drive list and the hidden file controls keep them. */
#define IDC_EXTRACT 1 /* IDOK: the common dialog's default button */
#define IDC_CANCEL 2  /* IDCANCEL */
#define IDC_ABOUT 1000
#define IDC_INFORMATION 1002
#define IDC_DESTINATION 1007
#define IDC_IDLE_LINE 1008
#define IDC_EXTRACTED 1009
#define IDC_REQUIRED 1010
#define IDC_AVAILABLE 1011
#define IDC_PROGRESS_ITEM 1012
#define IDC_RECREATE_DIRECTORIES 1013
#define IDC_RUN_AFTER 1014
#define IDC_REGISTER_EXTENSIONS 1015
#define IDC_PROGRESS_ACTION 1016
#define IDC_FIGURES_FRAME 1018
#define IDC_OVERWRITE_ASK 1019
#define IDC_OVERWRITE_ALWAYS 1020
#define IDC_OVERWRITE_NEVER 1021
#define IDC_SHOW_MESSAGES 1022
#define IDC_WARNINGS 1023
#define IDC_CREATE_GROUPS 1024
#define IDC_EXTRACTED_LABEL 1028
#define IDC_WARNINGS_LABEL 1029
#define IDC_PROGRESS_MARKER 1031
#define IDC_TEST 1032
#define IDC_HELP_BUTTON 1038     /* the common dialog's help button, hidden */
#define IDC_READ_ONLY 1040       /* its read-only check box, hidden */
#define IDC_DIRECTORY_NAME 1088  /* its current-directory label, hidden */
#define IDC_FILE_TYPE_LABEL 1089 /* hidden */
#define IDC_FILE_NAME_LABEL 1090 /* hidden */
#define IDC_DRIVES_LABEL 1091
#define IDC_FILE_LIST 1120       /* hidden */
#define IDC_DIRECTORY_LIST 1121
#define IDC_FILE_TYPE 1136       /* hidden */
#define IDC_DRIVE_LIST 1137
#define IDC_FILE_NAME 1152       /* hidden */

/* About box (100). */
#define IDC_ABOUT_TITLE 1140
#define IDC_ABOUT_TEXT 1141
#define IDC_ABOUT_CLOSE 1

/* Text viewer (104). */
#define IDC_VIEWER_TEXT 1004
#define IDC_VIEWER_CLOSE 2

/* Password dialog (105). */
#define IDC_PASSWORD_OK 1
#define IDC_PASSWORD_SKIP 2
#define IDC_PASSWORD_SKIP_ALL 3
#define IDC_PASSWORD_EDIT 1005
#define IDC_PASSWORD_ICON 1006
#define IDC_PASSWORD_NAME 1024
#define IDC_PASSWORD_TEXT 1025

/* Overwrite question (106). */
#define IDC_OVERWRITE_YES 6 /* IDYES */
#define IDC_OVERWRITE_NO 7  /* IDNO */
#define IDC_OVERWRITE_TEXT 1004
#define IDC_OVERWRITE_ICON 1006
#define IDC_OVERWRITE_ALL 1008
#define IDC_OVERWRITE_NONE 1017

#endif
