// Ids of the dialogs the window-model tests run.
#pragma once

#define IDD_NAME 101
#define IDD_CONTROLS 102
#define IDD_LIST 103
#define IDD_PAGE_FIRST 104
#define IDD_PAGE_SECOND 105
#define IDD_PAGE_THIRD 106

#define IDC_NAME 1001
#define IDC_ONE 1002
#define IDC_TWO 1003
#define IDC_ALL 1004
#define IDC_HOURS 1005
#define IDC_SPIN 1006
#define IDC_DATE 1007
#define IDC_TIME 1008
#define IDC_DISABLED 1009
#define IDC_HIDDEN 1010
#define IDC_ANIMATE 1011
#define IDC_LIST 1012
#define IDC_FIELD 1013
#define IDC_ASK 1014
