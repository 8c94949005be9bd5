// Resource ids of the setup program. Phase codes double as string ids.
#ifndef RESOURCES_RESOURCE_H
#define RESOURCES_RESOURCE_H

// The dialogs name the system's own control classes by their atoms, which
// take two words in a template instead of the class name in every language.
#define CLASS_BUTTON 0x80
#define CLASS_EDIT 0x81
#define CLASS_STATIC 0x82

#define IDI_SETUP 100
#define IDD_TARGET_FOLDER 101
#define IDD_PROGRESS 102

#define IDC_TARGET_FOLDER 1000
#define IDC_BROWSE 1003
#define IDC_PROMPT 1004
#define IDC_PROGRESS 1005
#define IDC_DESKTOP_ICON 1006
#define IDC_START_MENU_ICON 1021

#define IDS_PROMPT_UPGRADE 2
#define IDS_CAPTION_INSTALL 3
#define IDS_CAPTION_UNINSTALL 4
#define IDS_CONFIRM_UNINSTALL 5
#define IDS_COMPLETED 6
#define IDS_FAILED_FORMAT 7
#define IDS_PHASE_INITIALIZATION 8
#define IDS_PHASE_INSTALL_FILES 9
#define IDS_PHASE_UNINSTALL_FILES 10
#define IDS_PHASE_SHORTCUTS 11
#define IDS_PHASE_REGISTRATION 12
#define IDS_SERVICE_PACK 13
#define IDS_CANNOT_START 14
#define IDS_UNSUPPORTED_SYSTEM 15
#define IDS_NOT_ADMINISTRATOR 16
#define IDS_BUTTON_TEXT 18
#define IDS_PROMPT_FRESH 19
#define IDS_FOLDER_NOT_FULL_PATH 20
#define IDS_FOLDER_REFUSED 21
#define IDS_SETUP_DAMAGED 22
#define IDS_PROGRAM_FOLDER_NAME 23

#endif
