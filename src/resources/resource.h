#pragma once
// Resource and control ids of velloquin.dll.

#define IDI_VELLOQUIN 1

#define IDD_CONFIG 100
#define IDD_EDIT_MAPPING 101

// Configuration dialog
#define IDC_MAPPING_LIST 1001
#define IDC_BTN_ADD 1002
#define IDC_BTN_EDIT 1003
#define IDC_BTN_DELETE 1004
#define IDC_EDITOR_PARAMS 1005
#define IDC_CONFIG_PATH_LABEL 1006
#define IDC_PARAMS_LABEL 1007
#define IDC_MAPPINGS_LABEL 1008
#define IDC_CHECK_MAXIMIZE 1009
#define IDC_CHECK_FOCUS 1010
#define IDC_CHECK_KEEP_READY 1011

// Mapping editor
#define IDC_EDIT_GROUP 1101
#define IDC_EDIT_EXTS 1102
#define IDC_EDIT_PATH 1103
#define IDC_BTN_BROWSE 1104
#define IDC_GROUP_LABEL 1105
#define IDC_EXTS_LABEL 1106
#define IDC_PATH_LABEL 1107
