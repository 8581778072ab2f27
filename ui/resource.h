// Resource ids of the trueSpace import plug-in: dialog templates, controls
// and strings of scn_in.rc.
#pragma once

#define IDS_HELP_TEXT 1
#define IDS_COB 2
#define IDS_CONFIGURATION 3
#define IDS_HELP 4
#define IDS_IMPORT 5

#define IDD_COB_PROGRESS 102
#define IDD_COB_HELP 132
#define IDD_COB_CONFIG 133

#define IDC_HELP_BUTTON 3
#define IDC_HELP_TEXT 1001
#define IDC_PROGRESS1 1003
#define IDC_PERCENT1 1004
#define IDC_STATUS1 1005
#define IDC_PROGRESS2 1006
#define IDC_PERCENT2 1007
#define IDC_STATUS2 1008
#define IDC_PROGRESS3 1009
#define IDC_PERCENT3 1010
#define IDC_STATUS3 1011
#define IDC_LOG_FILE_NAME 1024
#define IDC_VERBOSE 1025
#define IDC_HOME_PATH 1027
#define IDC_IMAGE_SEARCH_PATH 1028
#define IDC_SET_HOME_PATH 1037
#define IDC_ADD_IMAGE_SEARCH_PATH 1038
